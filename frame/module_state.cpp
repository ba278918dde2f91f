#include "frame/module_state.h"

ModuleState moduleState = {};

void CloseActiveDialog() {
    if (moduleState.activeDialog != nullptr) {
        oapiCloseDialog(moduleState.activeDialog);
    }
    moduleState.activeDialog = nullptr;
}
