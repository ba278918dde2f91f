// Traces the module's file copies: the host replaces the module's import of CopyFileA with a
// routine that makes the real call and prints `copy: "SOURCE" -> "DESTINATION" ok|failed`,
// the line orbiter-sim prints for the same call.
#pragma once

#include <windows.h>

namespace host {

// Patches the loaded module's import address table. False when it imports no CopyFileA.
bool TraceCopiesOf(HMODULE module);

} // namespace host
