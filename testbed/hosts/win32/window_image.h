// Saves what a window shows on screen to a .bmp file, for pictures of the module's dialogs.
#pragma once

#include <windows.h>

#include <string>

namespace host {

// Repaints the window and its children, then copies its screen rectangle, frame included,
// to a 24-bit .bmp file. False when the copy or the file fails.
bool SaveWindowImage(HWND window, const std::string& path);

} // namespace host
