// The host's trace lines on standard output: the same stable interface orbiter-sim prints.
#pragma once

#include <string>

namespace host {

// Prints one line and flushes it, so that nothing is lost when the module ends the process.
void Trace(const std::string& line);

} // namespace host
