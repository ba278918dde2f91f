#include "trace.h"

#include <cstdio>

namespace host {

void Trace(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

} // namespace host
