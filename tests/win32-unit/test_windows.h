// Real windows for the locator tests, made by the Win32 test host's own code: its launchpad (in
// the layout a test asks for, with a plain window of this process or a window of another process
// on top when the layout says so), and a hidden plain window.
#pragma once

#include "testbed/hosts/win32/launchpad_dialog.h"

#include <windows.h>

// The host's launchpad with the entries "(Current state)" and "Demo", its start-paused box
// ticked so that clearing it shows. It lives until DestroyTestWindows.
const host::Launchpad& BuildLaunchpad(const model::LaunchpadLayout& layout = {});
// A hidden top-level window of this process without controls, on top of the z-order.
HWND ShowHiddenWindow();
// Destroys every top-level window of this process, for the next test.
void DestroyTestWindows();
