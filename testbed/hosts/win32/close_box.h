// The user's mouse: a click on a window's caption close box, as a person gives it.
#pragma once

#include <windows.h>

namespace host {

// Finds the close box in the window's caption (where the window answers WM_NCHITTEST with
// HTCLOSE), moves the cursor onto its middle and queues a left button press and release
// there as real input. The window acts on it once the message loop runs. False when the
// window has no close box on screen or the input cannot be queued.
bool ClickCloseBox(HWND window);

} // namespace host
