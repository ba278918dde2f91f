// Every operating-system and Orbiter call the module makes, in one place.
//
// The module's logic includes only this header. Two back ends implement it:
// platform/win32/ with the real Win32 calls (and Orbiter's functions imported
// from orbiter.exe), and testbed/sim-platform/ with simulated calls for Linux,
// on the simulated desktop of testbed/desktop/.
#pragma once

#include <cstddef>
#include <cstdint>

// Handles are opaque: the module compares them with null and passes them on.
using WindowHandle = void*;
using InstanceHandle = void*;

// The calling convention of Win32 callbacks (__stdcall on 32-bit Windows).
#if defined(_WIN32) && !defined(_WIN64)
#define PLATFORM_CALLBACK __stdcall
#else
#define PLATFORM_CALLBACK
#endif

// Message parameters are pointer-sized, as WPARAM and LPARAM are on Win32;
// on 32-bit Windows they are the 32-bit values Orbiter hands to dialog procedures.
using MessageParam = std::uintptr_t;
using MessageData = std::intptr_t;

// A dialog procedure: nonzero when the message was handled.
using DialogProc = std::intptr_t(PLATFORM_CALLBACK*)(WindowHandle window, std::uint32_t message,
                                                     MessageParam wParam, MessageData lParam);
// An EnumWindows callback: nonzero to continue, zero to stop.
using EnumWindowsProc = std::int32_t(PLATFORM_CALLBACK*)(WindowHandle window, MessageData record);
// The routine the unload hook points at: ExitModule or an equivalent.
using ExitHookProc = void (*)(InstanceHandle instance);

// Window messages and their parameters, with their Win32 values.
constexpr std::uint32_t WM_CLOSE_MSG = 0x0010;
constexpr std::uint32_t WM_SHOWWINDOW_MSG = 0x0018;
constexpr std::uint32_t BM_SETCHECK_MSG = 0x00F1;
constexpr std::uint32_t BM_CLICK_MSG = 0x00F5;
constexpr std::uint32_t TVM_GETNEXTITEM_MSG = 0x110A;
constexpr std::uint32_t TVM_SELECTITEM_MSG = 0x110B;
constexpr MessageParam TVGN_ROOT_CODE = 0x0000;
constexpr MessageParam TVGN_CARET_CODE = 0x0009;
constexpr MessageParam BST_UNCHECKED_STATE = 0;
constexpr MessageParam BST_CHECKED_STATE = 1;
constexpr std::uint32_t GW_HWNDNEXT_CODE = 2;

// Orbiter's functions, called with C linkage. Orbiter exports them from orbiter.exe as C++
// functions under decorated names; the Windows build's import library maps each plain name
// to its decorated one (platform/orbiter-x86.def, orbiter-x64.def). The simulated host
// provides the plain names. The types here stand for Orbiter's (HWND, INT_PTR, char*) with the
// same size and passing.
extern "C" {
const char* oapiGetCmdLine();
WindowHandle oapiOpenDialog(InstanceHandle instance, int templateId, DialogProc procedure,
                            void* context);
void oapiCloseDialog(WindowHandle dialog);
std::intptr_t oapiDefDialogProc(WindowHandle window, std::uint32_t message, MessageParam wParam,
                                MessageData lParam);
void InitLib(InstanceHandle instance);
std::int32_t Date2Int(char* date);
}

// Window manager, kernel and loader operations, named after the Win32 calls they stand for.
namespace platform {

std::uint32_t GetCurrentProcessId();
// Nonzero when every window was visited; zero when the callback stopped it or it failed.
std::int32_t EnumWindows(EnumWindowsProc callback, MessageData record);
std::uint32_t GetWindowThreadProcessId(WindowHandle window);
bool IsWindowVisible(WindowHandle window);
void SetLastError(std::uint32_t value);
std::uint32_t GetLastError();
WindowHandle GetDlgItem(WindowHandle parent, int identifier);
WindowHandle GetWindow(WindowHandle window, std::uint32_t relation);
MessageData SendMessageA(WindowHandle window, std::uint32_t message, MessageParam wParam,
                         MessageData lParam);
bool PostMessageA(WindowHandle window, std::uint32_t message, MessageParam wParam,
                  MessageData lParam);

// The long form of an existing path: its length, the size needed (NUL included) when
// the buffer is too small, or 0 on failure.
std::uint32_t GetLongPathNameA(const char* shortPath, char* longPath, std::uint32_t size);
// Copies a file, replacing an existing destination when failIfExists is false.
bool CopyFileA(const char* source, const char* destination, bool failIfExists);
// Whether two paths name one and the same file, as the file system decides it, whatever their
// spelling (case, "." and "..", absolute or relative, short 8.3 names): on Win32 the volume and
// file index of each file opened. False when either cannot be opened as a file.
bool IsSameFile(const char* first, const char* second);

// Heap memory for the module's own allocations; null when none is left.
void* AllocateMemory(std::size_t size);
void ReleaseMemory(void* block);

// An export of the module's own image, by name, or null.
void* GetProcAddress(InstanceHandle module, const char* name);
// Ends the process through the run-time's normal exit path: termination handlers run.
[[noreturn]] void ExitWithStatus(int status);

} // namespace platform
