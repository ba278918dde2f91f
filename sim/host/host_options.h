// The command line of orbiter-sim.
#pragma once

#include "sim/orbiter_run.h"

#include <string>
#include <vector>

namespace sim {

struct HostOptions {
    RunOptions run;
    std::string modulePath; // empty: the modules Orbiter.cfg lists
};

// Parses the arguments after the program name. On an error, returns false and says why.
bool ParseHostOptions(const std::vector<std::string>& args, HostOptions& options,
                      std::string& error);

extern const char HOST_USAGE[];

} // namespace sim
