// The simulated Orbiter's launchpad, built with the layout the module expects, or with
// one of the faults the module must survive.
#pragma once

#include "hosts/core/run_options.h"
#include "platform/platform.h"

#include <string>
#include <vector>

namespace sim {

struct Launchpad {
    WindowHandle window = nullptr;
    WindowHandle launchButton = nullptr;
    WindowHandle exitButton = nullptr;
    WindowHandle page = nullptr;
    WindowHandle scenarioTree = nullptr;
    WindowHandle pausedCheck = nullptr;
};

// Builds the launchpad on the simulated desktop for the current process.
Launchpad BuildLaunchpad(const core::LaunchpadLayout& layout,
                         const std::vector<std::string>& entries);

} // namespace sim
