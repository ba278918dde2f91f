// One run of the simulated Orbiter: the launchpad, the modules loaded as Orbiter loads them, the
// message loop, simulations started from the launchpad, and the simulated user.
#pragma once

#include "platform/platform.h"
#include "testbed/hosts/core/run_options.h"

#include <optional>
#include <string>
#include <vector>

namespace sim {

// Runs Orbiter on the current simulated desktop until it ends; returns its exit status.
// The current directory must already be Orbiter's folder.
int RunOrbiter(const core::RunOptions& options);

} // namespace sim
