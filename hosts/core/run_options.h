// What one run of either host is asked to do: the launchpad to build (or the fault to build into
// it), what the simulated user does, Orbiter's command line and the modules to load.
#pragma once

#include "hosts/core/module_list.h"

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace core {

struct LaunchpadLayout {
    bool hidden = false;          // the launchpad is not visible
    std::set<int> without;        // control identifiers left out
    int pageOffset = 5;           // the page is this many next siblings after Launch
    bool refuseSelection = false; // the tree vetoes every selection
    bool emptyTree = false;       // the tree has no entries at all
    bool foreignWindow = false;   // another process's visible window is enumerated first
    bool otherWindow = false;     // a visible window of this process, without controls, first
};

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

} // namespace core
