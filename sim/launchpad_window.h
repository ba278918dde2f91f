// The simulated Orbiter's launchpad, built with the layout the module expects, or with
// one of the faults the module must survive.
#pragma once

#include "platform/platform.h"

#include <set>
#include <string>
#include <vector>

namespace sim {

struct LaunchpadLayout {
    bool hidden = false;          // the launchpad is not visible
    std::set<int> without;        // control identifiers left out
    int pageOffset = 5;           // the page is this many next siblings after Launch
    bool refuseSelection = false; // the tree vetoes every selection
    bool emptyTree = false;       // the tree has no entries at all
    bool foreignWindow = false;   // another process's visible window is enumerated first
    bool otherWindow = false;     // a visible window of this process, without controls, first
};

struct Launchpad {
    WindowHandle window = nullptr;
    WindowHandle launchButton = nullptr;
    WindowHandle exitButton = nullptr;
    WindowHandle page = nullptr;
    WindowHandle scenarioTree = nullptr;
    WindowHandle pausedCheck = nullptr;
};

// Builds the launchpad on the simulated desktop for the current process.
Launchpad BuildLaunchpad(const LaunchpadLayout& layout, const std::vector<std::string>& entries);

} // namespace sim
