#include "testbed/sim-platform/windows_path.h"

#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

namespace sim {

namespace {

bool Exists(const std::string& path) {
    struct stat found;
    return lstat(path.c_str(), &found) == 0;
}

// The name of the entry of `folder` that matches `name` case-blind, the first one listed; empty
// when none does.
std::string CaseBlindEntry(const std::string& folder, const std::string& name) {
    DIR* entries = opendir(folder.c_str());
    if (entries == nullptr) {
        return "";
    }
    std::string match;
    while (const dirent* entry = readdir(entries)) {
        if (strcasecmp(entry->d_name, name.c_str()) == 0) {
            match = entry->d_name;
            break;
        }
    }
    closedir(entries);
    return match;
}

// Each name that does not exist as given takes the case of an entry that matches it case-blind;
// from the first name that matches none on, the rest is kept as given.
std::string WithNamesFound(const std::string& path) {
    std::string found = path[0] == '/' ? "/" : "";
    std::size_t start = found.size();
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        end = end == std::string::npos ? path.size() : end;
        const std::string name = path.substr(start, end - start);
        std::string next = found + name;
        if (!name.empty() && name != "." && name != ".." && !Exists(next)) {
            const std::string folder = found.empty() ? "." : found;
            const std::string match = CaseBlindEntry(folder, name);
            if (match.empty()) {
                return found + path.substr(start);
            }
            next = found + match;
        }
        found = end < path.size() ? next + "/" : next;
        start = end + 1;
    }
    return found;
}

} // namespace

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

bool FindWindowsPath(const std::string& windowsPath, std::string& linuxPath, struct stat& found) {
    linuxPath = ToLinuxPath(windowsPath);
    if (stat(linuxPath.c_str(), &found) == 0) {
        return true;
    }
    if (linuxPath.empty() || (errno != ENOENT && errno != ENOTDIR)) {
        return false;
    }
    const std::string withNamesFound = WithNamesFound(linuxPath);
    if (withNamesFound == linuxPath) {
        errno = ENOENT;
        return false;
    }
    linuxPath = withNamesFound;
    return stat(linuxPath.c_str(), &found) == 0;
}

} // namespace sim
