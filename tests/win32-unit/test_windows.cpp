#include "test_windows.h"

#include "launchpad/launchpad_ids.h"

#include <commctrl.h>

#include <string>
#include <vector>

const char FOREIGN_WINDOW_OPTION[] = "--foreign-window";

namespace {

const char PAGE_CLASS[] = "SkarvelTestPage";
constexpr DWORD FOREIGN_START_LIMIT_MS = 20000;
std::vector<HWND> made; // top-level windows, for DestroyTestWindows

// The page answers TVN_SELCHANGING with its veto flag, kept in the window's user data.
LRESULT CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->code == TVN_SELCHANGINGA || header->code == TVN_SELCHANGINGW) {
            return GetWindowLongPtrA(page, GWLP_USERDATA);
        }
    }
    return DefWindowProcA(page, message, wParam, lParam);
}

void RegisterPageClass() {
    WNDCLASSA type{};
    type.lpfnWndProc = PageProc;
    type.hInstance = GetModuleHandleA(nullptr);
    type.lpszClassName = PAGE_CLASS;
    RegisterClassA(&type); // fails harmlessly when already registered
}

HWND Child(const char* type, const char* text, DWORD style, HWND parent, int id) {
    const HWND child = CreateWindowExA(0, type, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 80, 20,
                                       parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                       GetModuleHandleA(nullptr), nullptr);
    // Last among its siblings, so that GW_HWNDNEXT steps go in creation order.
    SetWindowPos(child, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return child;
}

void AddRoot(HWND tree, const char* text) {
    TVINSERTSTRUCTA insert{};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<char*>(text);
    SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert));
}

HWND TopWindow(const char* title, bool visible) {
    const HWND window = CreateWindowExA(0, "STATIC", title, WS_OVERLAPPEDWINDOW, 20, 20, 400, 300,
                                        nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    made.push_back(window);
    if (visible) {
        ShowWindow(window, SW_SHOW);
    }
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return window;
}

} // namespace

TestLaunchpad BuildLaunchpad(const core::LaunchpadLayout& layout) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    RegisterPageClass();
    TestLaunchpad pad;
    pad.window = TopWindow("Launchpad", false);
    pad.exitButton = Child("BUTTON", "Exit", BS_PUSHBUTTON, pad.window, IDC_EXIT);
    pad.launchButton = Child("BUTTON", "Launch", BS_PUSHBUTTON, pad.window, IDC_LAUNCH);
    for (int tab = 1; tab < layout.pageOffset; ++tab) {
        Child("BUTTON", "Tab", BS_PUSHBUTTON, pad.window, 1100 + tab);
    }
    pad.page = Child(PAGE_CLASS, "", 0, pad.window, 0);
    SetWindowLongPtrA(pad.page, GWLP_USERDATA, layout.refuseSelection ? TRUE : FALSE);
    pad.tree = Child(WC_TREEVIEWA, "", WS_BORDER, pad.page, IDC_SCENARIO_TREE);
    pad.check = Child("BUTTON", "Start paused", BS_AUTOCHECKBOX, pad.page, IDC_START_PAUSED);
    SendMessageA(pad.check, BM_SETCHECK, BST_CHECKED, 0);
    if (!layout.emptyTree) {
        AddRoot(pad.tree, "(Current state)");
        AddRoot(pad.tree, "Demo");
    }
    for (HWND* control : {&pad.launchButton, &pad.exitButton, &pad.tree, &pad.check}) {
        if (layout.without.count(GetDlgCtrlID(*control)) != 0) {
            DestroyWindow(*control);
            *control = nullptr;
        }
    }
    if (!layout.hidden) {
        ShowWindow(pad.window, SW_SHOW);
    }
    if (layout.otherWindow) {
        ShowPlainWindow(true);
    }
    return pad;
}

HWND ShowPlainWindow(bool visible) {
    return TopWindow("Plain", visible);
}

void DestroyTestWindows() {
    for (HWND window : made) {
        DestroyWindow(window);
    }
    made.clear();
}

std::string SelectedText(HWND tree) {
    const auto item =
        reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (item == nullptr) {
        return "";
    }
    char text[256] = {};
    TVITEMA request{};
    request.mask = TVIF_TEXT;
    request.hItem = item;
    request.pszText = text;
    request.cchTextMax = sizeof text;
    SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&request));
    return text;
}

ForeignWindow::ForeignWindow() {
    const std::string eventName =
        "SkarvelTestForeignReady." + std::to_string(GetCurrentProcessId());
    const HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command =
        std::string("\"") + self + "\" " + FOREIGN_WINDOW_OPTION + " " + eventName;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (ready != nullptr && CreateProcessA(self, command.data(), nullptr, nullptr, FALSE, 0,
                                           nullptr, nullptr, &startup, &process_)) {
        const HANDLE waits[] = {ready, process_.hProcess};
        shown_ = WaitForMultipleObjects(2, waits, FALSE, FOREIGN_START_LIMIT_MS) == WAIT_OBJECT_0;
    }
    if (ready != nullptr) {
        CloseHandle(ready);
    }
}

ForeignWindow::~ForeignWindow() {
    if (process_.hProcess != nullptr) {
        TerminateProcess(process_.hProcess, 0);
        WaitForSingleObject(process_.hProcess, FOREIGN_START_LIMIT_MS);
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }
}

int RunForeignWindow(const char* readyEventName) {
    const HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, readyEventName);
    if (ready == nullptr || TopWindow("Another program", true) == nullptr) {
        return 1;
    }
    SetEvent(ready);
    // Answers the window's messages until the test ends this process (or a minute passes).
    const DWORD until = GetTickCount() + 60000;
    for (MSG message; static_cast<LONG>(until - GetTickCount()) > 0;) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
    }
    return 0;
}
