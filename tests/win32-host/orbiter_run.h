// One run of the host: the launchpad, the module's start-up, the message loop, simulations
// started from the launchpad, and the simulated user.
#pragma once

#include "sim/orbiter_run.h"

#include <windows.h>

namespace host {

// The module as the host loaded it: its image and the entry points it exports.
struct LoadedModule {
    HMODULE instance = nullptr;
    void(__cdecl* initModule)(HINSTANCE) = nullptr;
    // Orbiter's own signature; the module exports ExitModule under this name, which takes one
    // argument and ignores it: the C calling convention lets the caller pass more.
    void(__cdecl* openRenderViewport)(HWND, DWORD, DWORD, BOOL) = nullptr;
    void(__cdecl* closeRenderViewport)() = nullptr;
    int(__cdecl* getModuleVersion)() = nullptr;
};

// Runs Orbiter until Exit is clicked or the user closes it; returns its exit status. The
// current directory must already be Orbiter's folder.
int RunOrbiter(const sim::RunOptions& options, LoadedModule& module);

} // namespace host
