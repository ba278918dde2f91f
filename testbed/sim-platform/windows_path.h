// How the simulated back end reads a Windows path on Linux.
#pragma once

#include <string>
#include <sys/stat.h>

namespace sim {

// Both the backslash and the slash separate components. A drive letter names the root of
// the Linux file system, as Wine's Z: drive does, so "Z:\tmp\a.scn" and "C:\tmp\a.scn" are
// /tmp/a.scn, and "\tmp\a.scn" is too. Any other path is relative to the current directory.
std::string ToLinuxPath(const std::string& windowsPath);

// Finds a Windows path on Linux as Windows finds names, whatever their case, and as Wine does:
// ToLinuxPath's path when it exists; else each name of it that does not exist as given is the
// first entry of its folder that matches it case-blind (ASCII letters), and a name that matches
// none, with what follows it, stays as given. Sets `linuxPath` to the path found, and `found`
// to what stat() says of it; false, with errno set, when it does not exist.
bool FindWindowsPath(const std::string& windowsPath, std::string& linuxPath, struct stat& found);

} // namespace sim
