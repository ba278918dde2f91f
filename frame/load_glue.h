// What the module does when the loader attaches it to or detaches it from the process.
#pragma once

#include "platform/platform.h"

// Looks up the module's own unload hook: "ExitModule", else "opcDLLExit", else null.
ExitHookProc FindExitHook(InstanceHandle instance);

// Process attach: Orbiter's InitLib, then the unload hook is recorded.
void OnProcessAttach(InstanceHandle instance);
// Process detach: the unload hook, if one was found.
void OnProcessDetach(InstanceHandle instance);
