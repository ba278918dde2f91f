// The real Win32 calls behind platform.h, but for the path queries (win32_paths.cpp). With that
// file, the only module files that include windows.h.
#include "platform/platform.h"

#include <cstdlib>
#include <windows.h>

namespace platform {

std::uint32_t GetCurrentProcessId() {
    return ::GetCurrentProcessId();
}

std::int32_t EnumWindows(EnumWindowsProc callback, MessageData record) {
    return ::EnumWindows(reinterpret_cast<WNDENUMPROC>(callback), static_cast<LPARAM>(record));
}

std::uint32_t GetWindowThreadProcessId(WindowHandle window) {
    DWORD processId = 0;
    ::GetWindowThreadProcessId(static_cast<HWND>(window), &processId);
    return processId;
}

bool IsWindowVisible(WindowHandle window) {
    return ::IsWindowVisible(static_cast<HWND>(window)) != FALSE;
}

void SetLastError(std::uint32_t value) {
    ::SetLastError(value);
}

std::uint32_t GetLastError() {
    return ::GetLastError();
}

WindowHandle GetDlgItem(WindowHandle parent, int identifier) {
    return ::GetDlgItem(static_cast<HWND>(parent), identifier);
}

WindowHandle GetWindow(WindowHandle window, std::uint32_t relation) {
    return ::GetWindow(static_cast<HWND>(window), relation);
}

MessageData SendMessageA(WindowHandle window, std::uint32_t message, MessageParam wParam,
                         MessageData lParam) {
    return ::SendMessageA(static_cast<HWND>(window), message, wParam, lParam);
}

bool PostMessageA(WindowHandle window, std::uint32_t message, MessageParam wParam,
                  MessageData lParam) {
    return ::PostMessageA(static_cast<HWND>(window), message, wParam, lParam) != FALSE;
}

bool CopyFileA(const char* source, const char* destination, bool failIfExists) {
    return ::CopyFileA(source, destination, failIfExists ? TRUE : FALSE) != FALSE;
}

void* GetProcAddress(InstanceHandle module, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

void ExitWithStatus(int status) {
    std::exit(status);
}

void* AllocateMemory(std::size_t size) {
    return std::malloc(size);
}

void ReleaseMemory(void* block) {
    std::free(block);
}

} // namespace platform
