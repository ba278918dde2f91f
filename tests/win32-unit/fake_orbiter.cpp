// Orbiter's functions, which the module imports from orbiter.exe, as the unit tests' own: the
// locator's code links against them but these tests open no dialogs.
#include "platform/platform.h"

extern "C" {

const char* oapiGetCmdLine() {
    return "";
}
WindowHandle oapiOpenDialog(InstanceHandle, int, DialogProc, void*) {
    return nullptr;
}
void oapiCloseDialog(WindowHandle) {}
std::intptr_t oapiDefDialogProc(WindowHandle, std::uint32_t, MessageParam, MessageData) {
    return 0;
}
void InitLib(InstanceHandle) {}
std::int32_t Date2Int(char*) {
    return 0;
}

} // extern "C"
