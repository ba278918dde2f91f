// The module's process-wide state. All of it is zero while the library is loaded
// and before InitModule runs.
#pragma once

#include "platform/platform.h"

#include <cstdint>

struct ModuleState {
    InstanceHandle instance;   // passed to every oapiOpenDialog, so dialogs come from our resources
    WindowHandle activeDialog; // the one module dialog open, or null
    WindowHandle launchpad;    // Orbiter's launchpad, the first visible window of the process
    // The launchpad's controls that the module drives (launchpad/control_ids.h).
    WindowHandle launchButton;
    WindowHandle exitButton;
    WindowHandle scenarioTree;
    WindowHandle pausedCheck;
    std::int32_t exitAfterShutdown; // option e: exit once a simulation has been shut down
    std::int32_t exitIfMissing;     // option x: exit at once when the scenario cannot be copied
    std::int32_t reportMissing;     // show the usage dialog on a failed copy (the line had tokens)
    ExitHookProc exitHook;          // the unload hook found when the library was attached
    std::int32_t cachedVersion;     // GetModuleVersion's value; 0 while not yet computed
};

extern ModuleState moduleState;

// Closes the one module dialog, if any, and forgets it.
void CloseActiveDialog();
