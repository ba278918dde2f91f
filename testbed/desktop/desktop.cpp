#include "testbed/desktop/desktop.h"

#include "testbed/orbiter-model/trace_lines.h"
#include "testbed/sim-platform/win32_errors.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

Desktop* desktop = new Desktop(); // never destroyed: module destructors may still use it at exit
std::function<void(const std::string&)> traceSink;

// Tree items are named by 1-based index, so that no item handle is null.
MessageData ItemHandle(int index) {
    return index + 1;
}
int ItemIndex(MessageData item) {
    return static_cast<int>(item) - 1;
}

} // namespace

Desktop& TheDesktop() {
    return *desktop;
}

void ResetDesktop(std::uint32_t currentProcessId) {
    delete desktop;
    desktop = new Desktop();
    desktop->currentProcessId = currentProcessId;
}

void Trace(const std::string& line) {
    if (traceSink) {
        traceSink(line);
        return;
    }
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void SetTraceSink(std::function<void(const std::string&)> sink) {
    traceSink = std::move(sink);
}

WindowHandle Desktop::NewHandle() {
    const std::uintptr_t value = nextHandle_;
    nextHandle_ += 4; // handles are opaque values that are never dereferenced
    return reinterpret_cast<WindowHandle>(value);
}

WindowHandle Desktop::CreateTopLevel(std::uint32_t processId, WindowKind kind,
                                     const std::string& text) {
    auto window = std::make_unique<Window>();
    window->handle = NewHandle();
    window->processId = processId;
    window->kind = kind;
    window->text = text;
    const WindowHandle handle = window->handle;
    windows_[handle] = std::move(window);
    topLevel_.insert(topLevel_.begin(), handle);
    return handle;
}

WindowHandle Desktop::CreateChild(WindowHandle parent, WindowKind kind, int controlId,
                                  const std::string& text) {
    Window* owner = Find(parent);
    if (owner == nullptr) {
        return nullptr;
    }
    auto window = std::make_unique<Window>();
    window->handle = NewHandle();
    window->processId = owner->processId;
    window->parent = parent;
    window->kind = kind;
    window->controlId = controlId;
    window->text = text;
    window->visible = true;
    const WindowHandle handle = window->handle;
    owner->children.push_back(handle);
    windows_[handle] = std::move(window);
    return handle;
}

void Desktop::Destroy(WindowHandle handle) {
    Window* window = Find(handle);
    if (window == nullptr) {
        return;
    }
    for (WindowHandle child : std::vector<WindowHandle>(window->children)) {
        Destroy(child);
    }
    if (Window* parent = Find(window->parent)) {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), handle), siblings.end());
    }
    topLevel_.erase(std::remove(topLevel_.begin(), topLevel_.end(), handle), topLevel_.end());
    // Messages still queued for a destroyed window are dropped when they come up.
    windows_.erase(handle);
}

Window* Desktop::Find(WindowHandle handle) {
    const auto found = windows_.find(handle);
    return found == windows_.end() ? nullptr : found->second.get();
}

void Desktop::Show(WindowHandle handle, bool visible) {
    Window* window = Find(handle);
    if (window == nullptr || window->visible == visible) {
        return; // as on Win32, nothing is sent when the visibility does not change
    }
    window->visible = visible;
    if (visible) {
        // The newly shown window overlaps the others; each visible dialog repaints.
        for (WindowHandle other : topLevel_) {
            Window* dialog = Find(other);
            if (dialog != nullptr && dialog->kind == WindowKind::Dialog && dialog->visible) {
                dialog->paintPending = true;
            }
        }
    }
    if (window->kind == WindowKind::Dialog) {
        Send(handle, WM_SHOWWINDOW_MSG, visible ? 1 : 0, 0);
    }
}

MessageData Desktop::Send(WindowHandle handle, std::uint32_t message, MessageParam wParam,
                          MessageData lParam) {
    Window* window = Find(handle);
    if (window == nullptr) {
        lastError = ERROR_INVALID_WINDOW_HANDLE;
        return 0;
    }
    switch (window->kind) {
    case WindowKind::TreeView:
        return SendToTree(*window, message, wParam, lParam);
    case WindowKind::CheckBox:
        if (message == BM_SETCHECK_MSG) {
            window->checked = wParam == BST_CHECKED_STATE;
            if (!window->traceName.empty()) {
                Trace(model::CheckLine(window->traceName, window->checked));
            }
        }
        return 0; // BM_SETCHECK always returns 0
    case WindowKind::Dialog:
        if (message == WM_PAINT_MSG) {
            window->paintPending = false; // the default handling validates the window
        }
        if (window->procedure != nullptr) {
            return window->procedure(handle, message, wParam, lParam);
        }
        return 0;
    default:
        return 0;
    }
}

MessageData Desktop::SendToTree(Window& tree, std::uint32_t message, MessageParam wParam,
                                MessageData lParam) {
    if (message == TVM_GETNEXTITEM_MSG && wParam == TVGN_ROOT_CODE) {
        return tree.treeItems.empty() ? 0 : ItemHandle(0);
    }
    if (message == TVM_SELECTITEM_MSG && wParam == TVGN_CARET_CODE) {
        if (tree.refuseSelection) {
            return 0; // the parent vetoed the change (TVN_SELCHANGING)
        }
        if (lParam == 0) {
            // A null item clears the selection and succeeds; as with a real tree-view, the
            // parent hears of it only when there was a selection to clear.
            if (tree.selectedItem >= 0) {
                tree.selectedItem = -1;
                Trace(model::TREE_CLEARED_LINE);
            }
            return 1;
        }
        const int index = ItemIndex(lParam);
        if (index < 0 || index >= static_cast<int>(tree.treeItems.size())) {
            return 0;
        }
        tree.selectedItem = index;
        Trace(model::TreeSelectedLine(tree.treeItems[static_cast<std::size_t>(index)]));
        return 1;
    }
    return 0;
}

bool Desktop::DispatchPosted() {
    if (queue.empty()) {
        return false;
    }
    const PostedMessage posted = queue.front();
    queue.pop_front();
    Window* window = Find(posted.window);
    if (window == nullptr) {
        return true;
    }
    if (window->kind == WindowKind::Button && posted.message == BM_CLICK_MSG) {
        // A button presses itself and tells its owner, as if the user had clicked it.
        Trace(model::ClickLine(window->traceName));
        if (onButtonClick) {
            onButtonClick(*window);
        }
        return true;
    }
    Send(posted.window, posted.message, posted.wParam, posted.lParam);
    return true;
}

bool Desktop::DeliverPendingPaint() {
    for (WindowHandle handle : std::vector<WindowHandle>(topLevel_)) {
        Window* window = Find(handle);
        if (window != nullptr && window->visible && window->paintPending) {
            Send(handle, WM_PAINT_MSG, 0, 0);
            return true;
        }
    }
    return false;
}

} // namespace sim
