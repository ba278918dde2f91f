#include "launchpad_dialog.h"

#include "launchpad_dialog_ids.h"
#include "testbed/orbiter-model/trace_lines.h"
#include "trace.h"

#include <commctrl.h>

namespace host {

namespace {

constexpr UINT_PTR TRACE_SUBCLASS = 1;

// Buttons print "click: NAME" when a click reaches them; the check box prints each
// BM_SETCHECK request as "NAME: on" or "NAME: off". The name travels as the subclass data.
LRESULT CALLBACK TracingControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR, DWORD_PTR name) {
    const char* traceName = reinterpret_cast<const char*>(name);
    if (message == BM_CLICK) {
        Trace(model::ClickLine(traceName));
    } else if (message == BM_SETCHECK) {
        Trace(model::CheckLine(traceName, wParam == BST_CHECKED));
    }
    return DefSubclassProc(control, message, wParam, lParam);
}

// Puts a child after all its siblings, so that GW_HWNDNEXT steps reach it last.
void MoveToBottom(HWND child) {
    SetWindowPos(child, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// Leaves out a control the layout asks to be missing; the one kept traces under its name.
HWND Keep(HWND parent, const model::LaunchpadControl& control,
          const model::LaunchpadLayout& layout) {
    const HWND window = GetDlgItem(parent, control.id);
    if (window != nullptr && !layout.Has(control)) {
        DestroyWindow(window);
        return nullptr;
    }
    if (window != nullptr && *control.traceName != '\0') {
        SetWindowSubclass(window, TracingControlProc, TRACE_SUBCLASS,
                          reinterpret_cast<DWORD_PTR>(control.traceName));
    }
    return window;
}

std::string ItemText(HWND tree, HTREEITEM item) {
    char buffer[MAX_PATH * 2] = {};
    TVITEMA request{};
    request.mask = TVIF_TEXT;
    request.hItem = item;
    request.pszText = buffer;
    request.cchTextMax = sizeof buffer;
    if (SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&request)) == FALSE) {
        return "";
    }
    return buffer;
}

} // namespace

bool Launchpad::Build(const model::LaunchpadLayout& layout, const std::vector<std::string>& entries,
                      std::string& error) {
    const HINSTANCE self = GetModuleHandleA(nullptr);
    refuseSelection_ = layout.refuseSelection;
    window = CreateDialogParamA(self, MAKEINTRESOURCEA(IDD_LAUNCHPAD), nullptr, LaunchpadProc,
                                reinterpret_cast<LPARAM>(this));
    if (window == nullptr) {
        error = "cannot create the launchpad dialog (error " + std::to_string(GetLastError()) +
                "); is there a display (DISPLAY) for Wine?";
        return false;
    }
    for (int filler = 1; filler < layout.pageOffset; ++filler) {
        const HWND tab = CreateWindowExA(
            0, "BUTTON", model::FILLER_CAPTION, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
            10 + 30 * (filler - 1), 2, 28, 16, window,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(model::FillerId(filler))), self, nullptr);
        MoveToBottom(tab);
    }
    page = CreateDialogParamA(self, MAKEINTRESOURCEA(IDD_SCENARIO_PAGE), window, PageProc,
                              reinterpret_cast<LPARAM>(this));
    if (page == nullptr) {
        error = "cannot create the scenario page (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    MoveToBottom(page);

    launchButton = Keep(window, model::LAUNCH_BUTTON, layout);
    exitButton = Keep(window, model::EXIT_BUTTON, layout);
    scenarioTree = Keep(page, model::SCENARIO_TREE, layout);
    pausedCheck = Keep(page, model::START_PAUSED_BOX, layout);
    if (scenarioTree != nullptr && !layout.emptyTree) {
        FillTree(entries);
    }
    if (!layout.hidden) {
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
    }
    return true;
}

void Launchpad::FillTree(const std::vector<std::string>& entries) const {
    for (const std::string& entry : entries) {
        TVINSERTSTRUCTA insert{};
        insert.hParent = TVI_ROOT;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT;
        insert.item.pszText = const_cast<char*>(entry.c_str());
        SendMessageA(scenarioTree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert));
    }
}

std::optional<std::string> Launchpad::SelectedEntry() const {
    if (scenarioTree == nullptr) {
        return std::nullopt;
    }
    const auto item =
        reinterpret_cast<HTREEITEM>(SendMessageA(scenarioTree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (item == nullptr) {
        return std::nullopt;
    }
    return ItemText(scenarioTree, item);
}

bool Launchpad::StartPaused() const {
    return pausedCheck != nullptr && SendMessageA(pausedCheck, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool Launchpad::OnTreeNotify(HWND pageWindow, const NMHDR& header) const {
    const auto& change = reinterpret_cast<const NMTREEVIEWA&>(header);
    switch (header.code) {
    case TVN_SELCHANGINGA:
    case TVN_SELCHANGINGW:
        // A nonzero result vetoes the change, and TVM_SELECTITEM then returns FALSE.
        SetWindowLongPtrA(pageWindow, DWLP_MSGRESULT, refuseSelection_ ? TRUE : FALSE);
        return true;
    case TVN_SELCHANGEDA:
    case TVN_SELCHANGEDW:
        if (change.itemNew.hItem == nullptr) {
            Trace(model::TREE_CLEARED_LINE);
        } else {
            Trace(model::TreeSelectedLine(ItemText(header.hwndFrom, change.itemNew.hItem)));
        }
        return false;
    default:
        return false; // the tree's other notifications get the default result
    }
}

INT_PTR CALLBACK Launchpad::LaunchpadProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        return FALSE; // no focus anywhere until the launchpad is shown
    }
    auto* pad = reinterpret_cast<Launchpad*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (pad == nullptr) {
        return FALSE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDC_LAUNCH && pad->onLaunch) {
            pad->onLaunch();
        } else if (LOWORD(wParam) == IDC_EXIT && pad->onExit) {
            pad->onExit();
        }
        return TRUE;
    }
    if (message == WM_CLOSE) {
        return TRUE; // Orbiter ends through its Exit button only
    }
    return FALSE;
}

INT_PTR CALLBACK Launchpad::PageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(page, DWLP_USER, lParam);
        return FALSE;
    }
    const auto* pad = reinterpret_cast<const Launchpad*>(GetWindowLongPtrA(page, DWLP_USER));
    if (message == WM_NOTIFY && pad != nullptr) {
        const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
        if (header.idFrom == IDC_SCENARIO_TREE) {
            return pad->OnTreeNotify(page, header) ? TRUE : FALSE;
        }
    }
    return FALSE;
}

} // namespace host
