// The host's side of Orbiter's functions that the module imports from orbiter.exe: the
// state behind them, for the rest of the host.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace host {

// What oapiGetCmdLine returns; nullopt makes it return null.
void SetOrbiterCommandLine(const std::optional<std::string>& line);
// Saves a picture of the usage dialog (IDD_USAGE) to this .bmp file when it opens.
void SetUsageSnapshot(const std::string& bmpPath);
// The open module dialog built from template `templateId`, or null.
HWND FindOpenDialog(int templateId);

} // namespace host
