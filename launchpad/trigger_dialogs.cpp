#include "launchpad/trigger_dialogs.h"

#include "frame/module_state.h"
#include "resources/resource_ids.h"

namespace {

// Every module dialog comes from the module's own templates, with no context.
WindowHandle OpenDialog(int templateId, DialogProc procedure) {
    return oapiOpenDialog(moduleState.instance, templateId, procedure, nullptr);
}

// A click is always posted, never sent: the button acts after the procedure has returned.
void PostClick(WindowHandle button) {
    platform::PostMessageA(button, BM_CLICK_MSG, 0, 0);
}

} // namespace

std::intptr_t PLATFORM_CALLBACK LaunchDlgProc(WindowHandle window, std::uint32_t message,
                                              MessageParam wParam, MessageData lParam) {
    if (message == WM_SHOWWINDOW_MSG) {
        PostClick(moduleState.launchButton);
        return 1;
    }
    return oapiDefDialogProc(window, message, wParam, lParam);
}

std::intptr_t PLATFORM_CALLBACK ExitDlgProc(WindowHandle, std::uint32_t, MessageParam,
                                            MessageData) {
    // While a simulation runs the launchpad is hidden; the first message after it shows
    // again presses Exit.
    if (platform::IsWindowVisible(moduleState.launchpad)) {
        PostClick(moduleState.exitButton);
    }
    return 0;
}

std::intptr_t PLATFORM_CALLBACK UsageDlgProc(WindowHandle window, std::uint32_t message,
                                             MessageParam wParam, MessageData lParam) {
    if (message == WM_CLOSE_MSG) {
        CloseActiveDialog();
        return 1;
    }
    return oapiDefDialogProc(window, message, wParam, lParam);
}

void OpenStartDialog(bool scenarioStaged) {
    if (scenarioStaged) {
        moduleState.activeDialog = OpenDialog(IDD_TRIGGER, LaunchDlgProc);
    } else if (moduleState.exitIfMissing != 0) {
        moduleState.activeDialog = OpenDialog(IDD_TRIGGER, ExitDlgProc);
    } else if (moduleState.reportMissing != 0) {
        moduleState.activeDialog = OpenDialog(IDD_USAGE, UsageDlgProc);
    }
}

void OpenExitTriggerAfterShutdown() {
    if (moduleState.exitAfterShutdown != 0) {
        moduleState.activeDialog = OpenDialog(IDD_TRIGGER, ExitDlgProc);
    }
}
