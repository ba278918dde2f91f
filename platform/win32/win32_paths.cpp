// The real Win32 path queries behind platform.h: they only read the file system, so the trial's
// request probe runs the module's request code over them too.
#include "platform/platform.h"

#include <windows.h>

namespace platform {

std::uint32_t GetLongPathNameA(const char* shortPath, char* longPath, std::uint32_t size) {
    return ::GetLongPathNameA(shortPath, longPath, size);
}

namespace {

// What identifies an open file: its volume and its index on that volume. Opened for no access
// and shared every way, so that no other program's use of the file stands in the way.
bool IdentifyFile(const char* path, BY_HANDLE_FILE_INFORMATION& identity) {
    const HANDLE file =
        ::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool identified = ::GetFileInformationByHandle(file, &identity) != FALSE;
    ::CloseHandle(file);
    return identified;
}

} // namespace

bool IsSameFile(const char* first, const char* second) {
    BY_HANDLE_FILE_INFORMATION one;
    BY_HANDLE_FILE_INFORMATION other;
    return IdentifyFile(first, one) && IdentifyFile(second, other) &&
           one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
           one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

} // namespace platform
