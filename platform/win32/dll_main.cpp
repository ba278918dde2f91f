// The loader's attach and detach notifications, forwarded to the module's load glue.
#include "frame/load_glue.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        OnProcessAttach(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        OnProcessDetach(instance);
    }
    // Thread notifications need nothing, and the module never refuses to load.
    return TRUE;
}
