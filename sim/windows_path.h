// How the simulated back end reads a Windows path on Linux.
#pragma once

#include <string>

namespace sim {

// Both the backslash and the slash separate components. A drive letter names the root of
// the Linux file system, as Wine's Z: drive does, so "Z:\tmp\a.scn" and "C:\tmp\a.scn" are
// /tmp/a.scn, and "\tmp\a.scn" is too. Any other path is relative to the current directory.
std::string ToLinuxPath(const std::string& windowsPath);

} // namespace sim
