// The files Orbiter itself writes in its folder, as the host writes them: Orbiter.log, begun anew
// at each start with a line for each module loaded or not; Device.dat and keymap.cfg, written at
// start when they are missing; and Orbiter.cfg, rewritten when Orbiter ends normally. (The
// scenario saved when a simulation session ends is in testbed/hosts/core/scenario_files.h.)
#pragma once

#include <windows.h>

#include <string>

namespace host {

// Empties Orbiter.log, and writes Device.dat (the graphics device chosen) and keymap.cfg (the
// keyboard map) when they are missing, as Orbiter does when it starts.
void WriteStartFiles();
// Writes a line of the host's own at the end of the file, creating it if need be; false when it
// cannot. For a test that needs a file changed that Orbiter itself never writes.
bool WriteLineInto(const std::string& path);
// "Module Skarvel.dll ........... [Build ******, API 060425]": the module's file name padded
// with dots to 30 characters, then ModuleDate's date as Date2Int gives it (****** without that
// export) and the version the module reported, each as six digits.
void LogLoadedModule(HMODULE module, int version);
// "Failed loading module Modules\Plugin\NAME.dll (code N)", with the path as Orbiter passed it.
void LogFailedModule(const std::string& path, DWORD code);
// Rewrites Orbiter.cfg as Orbiter does when it ends normally: the other lines as they were, the
// ticked modules' block written anew (one name a line, indented by two blanks), Windows line ends.
void RewriteOrbiterCfg();

} // namespace host
