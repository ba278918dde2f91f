#include "sim/windows_path.h"

#include <cctype>

namespace sim {

std::string ToLinuxPath(const std::string& windowsPath) {
    std::string path = windowsPath;
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
        path.erase(0, 2);
        if (path.empty() || (path[0] != '\\' && path[0] != '/')) {
            path.insert(0,
                        "/"); // "C:name" is relative to the drive's current folder: its root here
        }
    }
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    return path;
}

} // namespace sim
