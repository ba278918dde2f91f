#include "frame/load_glue.h"

#include "frame/module_state.h"

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
