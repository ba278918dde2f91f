// The simulated Orbiter's launchpad, built with the layout the module expects, or with
// one of the faults the module must survive.
#pragma once

#include "platform/platform.h"
#include "testbed/orbiter-model/launchpad_layout.h"

#include <string>
#include <vector>

namespace sim {

using Launchpad = model::LaunchpadWindows<WindowHandle>;

// Builds the launchpad on the simulated desktop for the current process.
Launchpad BuildLaunchpad(const model::LaunchpadLayout& layout,
                         const std::vector<std::string>& entries);

} // namespace sim
