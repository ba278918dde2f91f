// One run of the simulated Orbiter: the launchpad, the modules loaded as Orbiter loads them, the
// message loop, simulations started from the launchpad, and the simulated user.
#pragma once

#include "platform/platform.h"
#include "sim/host/module_list.h"
#include "sim/launchpad_window.h"

#include <optional>
#include <string>
#include <vector>

namespace sim {

struct UserActions {
    bool closeUsage = false; // close the usage dialog with its close box when it appears
    bool launch = false;     // press Launch once when the launchpad is idle
    bool keepOpen = false;   // never close Orbiter: it runs until it is stopped
};

struct RunOptions {
    std::optional<std::string> commandLine = std::string(); // nullopt: oapiGetCmdLine is null
    std::string root = ".";
    LaunchpadLayout layout;
    UserActions user;
    std::vector<ModuleToLoad> modules; // loaded in this order once the launchpad is shown
};

// Runs Orbiter on the current simulated desktop until it ends; returns its exit status.
// The current directory must already be Orbiter's folder.
int RunOrbiter(const RunOptions& options);

} // namespace sim
