// The launchpads the module must refuse, one named row each, as the options that make a host
// build them: the unit, end-to-end and Win32 unit tests all run this one list, and the module
// must end the process with -1 on every row.
#pragma once

#include "testbed/hosts/core/host_options.h"

#include <string>
#include <vector>

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

// The launchpad a row's options describe, as the hosts' own parser reads them.
inline model::LaunchpadLayout LayoutOf(const BrokenLaunchpad& row) {
    core::HostOptions options;
    std::string error;
    core::ParseHostOptions(row.hostOptions, options, error);
    return options.run.layout;
}
