// platform.h's file calls on the real file system, behaving as Windows does (as seen on
// Wine 8) for every case the module meets. Paths are Windows paths; see windows_path.h.
#include "platform/platform.h"
#include "testbed/desktop/desktop.h"
#include "testbed/orbiter-model/trace_lines.h"
#include "testbed/sim-platform/win32_errors.h"
#include "testbed/sim-platform/windows_path.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using sim::ERROR_ACCESS_DENIED;
using sim::ERROR_DISK_FULL;
using sim::ERROR_FILE_EXISTS;
using sim::ERROR_FILE_NOT_FOUND;
using sim::ERROR_INVALID_NAME;
using sim::ERROR_PATH_NOT_FOUND;
using sim::ERROR_SHARING_VIOLATION;
using sim::ERROR_WRITE_FAULT;

bool Fail(std::uint32_t error) {
    sim::TheDesktop().lastError = error;
    return false;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Copies `source` into a new temporary file beside `destination` and renames it over, so that
// the destination is either the old file or a whole copy, never a part of one.
bool CopyThroughTemporary(const std::string& source, const std::string& destination, mode_t mode) {
    std::string temporary = FolderOf(destination) + "/.skarvel-copy-XXXXXX";
    const int output = mkstemp(temporary.data());
    if (output < 0) {
        return Fail(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                        : ERROR_ACCESS_DENIED);
    }
    const int input = open(source.c_str(), O_RDONLY);
    bool ok = input >= 0;
    std::uint32_t error = ERROR_ACCESS_DENIED;
    long long budget = sim::TheDesktop().faults.copyFailsAfterBytes;
    char buffer[1 << 16];
    while (ok) {
        const ssize_t got = read(input, buffer, sizeof buffer);
        if (got <= 0) {
            ok = got == 0;
            error = ERROR_WRITE_FAULT;
            break;
        }
        std::size_t allowed = static_cast<std::size_t>(got);
        if (budget >= 0 && static_cast<long long>(allowed) > budget) {
            allowed = static_cast<std::size_t>(budget); // the disk fills up part of the way
        }
        const bool written = write(output, buffer, allowed) == static_cast<ssize_t>(allowed);
        if (budget >= 0) {
            budget -= static_cast<long long>(allowed);
        }
        if (!written || allowed < static_cast<std::size_t>(got)) {
            ok = false;
            error = ERROR_DISK_FULL;
        }
    }
    if (input >= 0) {
        close(input);
    }
    // A read-only source makes a read-only copy, as on Windows.
    ok = ok && fchmod(output, mode & 0777) == 0;
    ok = close(output) == 0 && ok;
    if (ok && rename(temporary.c_str(), destination.c_str()) != 0) {
        ok = false;
        error = ERROR_ACCESS_DENIED;
    }
    if (!ok) {
        unlink(temporary.c_str());
        return Fail(error);
    }
    return true;
}

bool Copy(const char* source, const char* destination, bool failIfExists) {
    if (sim::TheDesktop().faults.beforeCopy) {
        sim::TheDesktop().faults.beforeCopy();
    }
    if (*source == '\0' || *destination == '\0') {
        return Fail(ERROR_PATH_NOT_FOUND);
    }
    std::string from;
    std::string to;
    struct stat input;
    if (!sim::FindWindowsPath(source, from, input)) {
        return Fail(errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
    }
    if (S_ISDIR(input.st_mode)) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    struct stat output;
    if (sim::FindWindowsPath(destination, to, output)) {
        // The same file under another spelling: Windows refuses to copy a file onto itself.
        if (output.st_dev == input.st_dev && output.st_ino == input.st_ino) {
            return Fail(ERROR_SHARING_VIOLATION);
        }
        if (failIfExists) {
            return Fail(ERROR_FILE_EXISTS);
        }
        // A folder, or a read-only file, cannot be replaced.
        if (S_ISDIR(output.st_mode) || (output.st_mode & S_IWUSR) == 0) {
            return Fail(ERROR_ACCESS_DENIED);
        }
    }
    return CopyThroughTemporary(from, to, input.st_mode);
}

} // namespace

namespace platform {

std::uint32_t GetLongPathNameA(const char* shortPath, char* longPath, std::uint32_t size) {
    sim::Desktop& desktop = sim::TheDesktop();
    if (shortPath == nullptr || *shortPath == '\0') {
        desktop.lastError = ERROR_PATH_NOT_FOUND;
        return 0;
    }
    if (std::strpbrk(shortPath, "*?") != nullptr) {
        desktop.lastError = ERROR_INVALID_NAME;
        return 0;
    }
    // Found only as spelled, unlike the file calls: with no short names here, the long form is
    // the path as given, so finding a name in another case would change nothing the module does,
    // while the case-blind search for a missing name, which reads its whole folder, would slow
    // every start whose path lacks its ".scn".
    struct stat found;
    if (stat(sim::ToLinuxPath(shortPath).c_str(), &found) != 0) {
        desktop.lastError = ERROR_FILE_NOT_FOUND;
        return 0;
    }
    if (desktop.faults.longPathSize != 0) {
        return desktop.faults.longPathSize; // a long form of this size exists
    }
    // Linux has no short 8.3 names, so the long form is the path as given, in its own form.
    const std::size_t length = std::strlen(shortPath);
    if (length + 1 > size) {
        return static_cast<std::uint32_t>(length + 1); // the size needed; the buffer is untouched
    }
    std::memmove(longPath, shortPath, length + 1);
    return static_cast<std::uint32_t>(length);
}

bool IsSameFile(const char* first, const char* second) {
    std::string path;
    struct stat one;
    struct stat other;
    // Windows opens no folder as a file, and "" names nothing.
    return *first != '\0' && *second != '\0' && sim::FindWindowsPath(first, path, one) &&
           sim::FindWindowsPath(second, path, other) && !S_ISDIR(one.st_mode) &&
           one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

bool CopyFileA(const char* source, const char* destination, bool failIfExists) {
    const bool copied = Copy(source, destination, failIfExists);
    sim::Trace(model::CopyLine(source, destination, copied));
    return copied;
}

} // namespace platform
