// What one run of either host is asked to do: the launchpad to build (or the fault to build into
// it), what the simulated user does, Orbiter's command line and the modules to load.
#pragma once

#include "testbed/hosts/core/module_list.h"
#include "testbed/orbiter-model/launchpad_layout.h"

#include <optional>
#include <string>
#include <vector>

namespace core {

struct UserActions {
    bool closeUsage = false; // close the usage dialog with its close box when it appears
    bool launch = false;     // press Launch once when the launchpad is idle
    bool keepOpen = false;   // never close Orbiter: it runs until it is stopped
};

struct RunOptions {
    std::optional<std::string> commandLine = std::string(); // nullopt: oapiGetCmdLine is null
    std::string root = ".";
    model::LaunchpadLayout layout;
    UserActions user;
    std::vector<ModuleToLoad> modules; // loaded in this order once the launchpad is shown
};

} // namespace core
