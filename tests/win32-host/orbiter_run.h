// One run of the host: the launchpad, the modules loaded as Orbiter loads them, the message
// loop, simulations started from the launchpad, and the simulated user.
#pragma once

#include "sim/orbiter_run.h"

namespace host {

// Runs Orbiter until Exit is clicked or the user closes it; returns its exit status. The
// current directory must already be Orbiter's folder, and each module's path a full one.
int RunOrbiter(const sim::RunOptions& options);

} // namespace host
