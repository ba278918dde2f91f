// One run of the host: the launchpad, the modules loaded as Orbiter loads them, the message
// loop, simulations started from the launchpad, and the simulated user.
#pragma once

#include "testbed/hosts/core/run_options.h"

#include <string>

namespace host {

// A path made full against the current directory. Modules are loaded by full path, so that
// LoadLibrary does not search the program's own folder first.
std::string FullPath(const std::string& path);

// Runs Orbiter until Exit is clicked or the user closes it; returns its exit status. The
// current directory must already be Orbiter's folder.
int RunOrbiter(const core::RunOptions& options);

} // namespace host
