// Windows that come before the launchpad in enumeration order, to test the module's search:
// one of this process without the launchpad's controls, and one of another process.
#pragma once

#include <windows.h>

#include <string>

namespace host {

// A visible window of this process, on top of the z-order.
HWND ShowOtherWindow();

// Starts a second copy of this program that shows a visible window on top of the z-order and
// keeps it until this process ends; returns once the window is up. False, with the reason,
// when the copy cannot be started or does not report back.
bool ShowForeignWindow(std::string& error);

// The option that makes this program that second copy, and what the copy runs.
extern const char FOREIGN_WINDOW_MODE[];
int RunForeignWindow(const std::string& readyEventName, DWORD parentProcessId);

} // namespace host
