#include "frame/entry_points.h"

#include "frame/module_state.h"
#include "frame/start_up.h"
#include "launchpad/trigger_dialogs.h"

#include <cstring>

// The build date this module reports as its version, in the form Date2Int reads.
static const char MODULE_VERSION_DATE[] = "Apr 25 2006";

extern "C" {

void InitModule(InstanceHandle instance) {
    RunStartUp(instance);
}

void ExitModule(InstanceHandle) {
    CloseActiveDialog();
}

#if !defined(_WIN32)
// One routine under two names, as the Windows build does in its .def file. Orbiter passes
// opcOpenRenderViewport more arguments than ExitModule takes; with the C calling convention
// the caller removes them, and the routine ignores them all.
MODULE_EXPORT void opcOpenRenderViewport(InstanceHandle) __attribute__((alias("ExitModule")));
#endif

void opcCloseRenderViewport() {
    OpenExitTriggerAfterShutdown();
}

std::int32_t GetModuleVersion() {
    // A 0 means "not yet computed", so a 0 from Date2Int is asked for again next time.
    if (moduleState.cachedVersion == 0) {
        // Orbiter declares the argument writable, so it gets a fresh copy, never the constant.
        char date[sizeof MODULE_VERSION_DATE];
        std::memcpy(date, MODULE_VERSION_DATE, sizeof date);
        moduleState.cachedVersion = Date2Int(date);
    }
    return moduleState.cachedVersion;
}

} // extern "C"
