#include "test_windows.h"

#include "testbed/hosts/win32/extra_windows.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::unique_ptr<host::Launchpad>> pads; // the windows keep a pointer to theirs

BOOL CALLBACK DestroyOwnWindow(HWND window, LPARAM) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == GetCurrentProcessId()) {
        DestroyWindow(window);
    }
    return TRUE;
}

} // namespace

const host::Launchpad& BuildLaunchpad(const model::LaunchpadLayout& layout) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    pads.push_back(std::make_unique<host::Launchpad>());
    host::Launchpad& pad = *pads.back();
    std::string error;
    if (!pad.Build(layout, {"(Current state)", "Demo"}, error)) {
        ADD_FAILURE() << error;
    }
    if (pad.pausedCheck != nullptr) {
        SendMessageA(pad.pausedCheck, BM_SETCHECK, BST_CHECKED, 0);
    }
    if (layout.otherWindow) {
        host::ShowOtherWindow();
    }
    if (layout.foreignWindow && !host::ShowForeignWindow(error)) {
        ADD_FAILURE() << error;
    }
    return pad;
}

HWND ShowHiddenWindow() {
    const HWND window = CreateWindowExA(0, "STATIC", "Hidden", WS_OVERLAPPEDWINDOW, 20, 20, 400,
                                        300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return window;
}

void DestroyTestWindows() {
    EnumWindows(DestroyOwnWindow, 0);
    pads.clear();
}
