#include "frame/load_glue.h"

#include "frame/module_state.h"

// Looked up by name in the image's export table, not taken by address, so that one rule serves
// every image the unit tests hand it: this module exports ExitModule; only a test image
// (tests/unit/images/hook_fallback.cpp) exports the older name opcDLLExit alone.
ExitHookProc FindExitHook(InstanceHandle instance) {
    void* hook = platform::GetProcAddress(instance, "ExitModule");
    if (hook == nullptr) {
        hook = platform::GetProcAddress(instance, "opcDLLExit");
    }
    return reinterpret_cast<ExitHookProc>(hook);
}

void OnProcessAttach(InstanceHandle instance) {
    InitLib(instance);
    moduleState.exitHook = FindExitHook(instance);
}

void OnProcessDetach(InstanceHandle instance) {
    if (moduleState.exitHook != nullptr) {
        moduleState.exitHook(instance);
    }
}
