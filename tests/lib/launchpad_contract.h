// The locator's contract, run against every back end: the launchpads the module must take, and
// those it must refuse, one named row each, as the options that make a host build them. The unit,
// end-to-end and Win32 unit tests all run these lists.
#pragma once

#include "frame/module_state.h"
#include "testbed/hosts/core/host_options.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

struct UsableLaunchpad {
    const char* name;
    std::vector<std::string> hostOptions; // orbiter-sim's and the Win32 host's options
    // The tree entry selected once the module has prepared the launchpad; nullopt: none.
    std::optional<std::string> selected;
};

// Each back end puts a hidden window of the test's process in front as well, which the module
// must skip, and ticks the start-paused box, which the module must clear.
inline const std::vector<UsableLaunchpad> USABLE_LAUNCHPADS = {
    {"OrbitersOwn", {}, "(Current state)"},
    {"ForeignWindowFirst", {"--foreign-window"}, "(Current state)"},
    // The root request answers null, and selecting null succeeds.
    {"EmptyTree", {"--empty-tree"}, std::nullopt},
};

// The module must end the process with -1 on every row.
struct BrokenLaunchpad {
    const char* name;
    std::vector<std::string> hostOptions; // orbiter-sim's and the Win32 host's options
};

inline const std::vector<BrokenLaunchpad> BROKEN_LAUNCHPADS = {
    {"HiddenLaunchpad", {"--hide-launchpad"}},    {"OtherWindowFirst", {"--other-window"}},
    {"NoLaunchButton", {"--without", "1000"}},    {"NoExitButton", {"--without", "1001"}},
    {"NoScenarioTree", {"--without", "1088"}},    {"NoStartPausedBox", {"--without", "1090"}},
    {"TooFewSiblings", {"--page-offset", "4"}},   {"PageTooFarAway", {"--page-offset", "6"}},
    {"SelectionRefused", {"--refuse-selection"}},
};

inline void PrintTo(const UsableLaunchpad& row, std::ostream* out) {
    *out << row.name;
}
inline void PrintTo(const BrokenLaunchpad& row, std::ostream* out) {
    *out << row.name;
}

// The launchpad a row's options describe, as the hosts' own parser reads them.
inline model::LaunchpadLayout LayoutOf(const std::vector<std::string>& hostOptions) {
    core::HostOptions options;
    std::string error;
    core::ParseHostOptions(hostOptions, options, error);
    return options.run.layout;
}

// The module holds the launchpad's window and its four controls, as the host built them.
template <typename Handle> void ExpectLaunchpadTaken(const model::LaunchpadWindows<Handle>& pad) {
    EXPECT_EQ(moduleState.launchpad, pad.window);
    EXPECT_EQ(moduleState.launchButton, pad.launchButton);
    EXPECT_EQ(moduleState.exitButton, pad.exitButton);
    EXPECT_EQ(moduleState.scenarioTree, pad.scenarioTree);
    EXPECT_EQ(moduleState.pausedCheck, pad.pausedCheck);
}
