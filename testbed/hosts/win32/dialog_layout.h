// Measures how a dialog's texts fit their controls, as Windows lays them out: the face each
// control's font resolves to, and for each static control the room its text needs.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace host {

// One line for the dialog's font, 'font: "FACE" N px raster' (or truetype, vector), then one
// per static control: 'fit: ok WxH in WxH "TEXT"', or 'fit: cut ...' when the text needs more
// room than the control's client area. Sizes are in pixels.
std::vector<std::string> MeasureDialogLayout(HWND dialog);

} // namespace host
