// A simulated desktop: just enough of a window manager for the module to run on Linux.
//
// It models processes (window owners), top-level windows in enumeration order with
// visibility, child controls with identifiers and sibling order, a tree-view whose root
// items can accept or refuse a selection, check boxes, dialogs with their procedures,
// the thread's last-error value and a posted-message queue. It behaves as Win32 does
// for each call the module makes; where Win32 has a choice, the choice is noted.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace sim {

// The message a dialog gets when the queue is empty and it is due for a repaint.
constexpr std::uint32_t WM_PAINT_MSG = 0x000F;

enum class WindowKind { Frame, Button, CheckBox, TreeView, Dialog, Static };

struct Window {
    WindowHandle handle = nullptr;
    std::uint32_t processId = 0;
    WindowHandle parent = nullptr; // null for a top-level window
    WindowKind kind = WindowKind::Frame;
    int controlId = 0;
    std::string text;
    bool visible = false;
    std::vector<WindowHandle> children; // in sibling (z) order

    // Check boxes and buttons: the name used in trace lines ("start-paused", "launch").
    std::string traceName;
    bool checked = false;

    // Tree-views: the root items' texts, the selected one (-1: none), and whether the
    // parent vetoes every selection change.
    std::vector<std::string> treeItems;
    int selectedItem = -1;
    bool refuseSelection = false;

    // Dialogs: the procedure that sees every message, the template it was built from,
    // and whether a WM_PAINT is due.
    DialogProc procedure = nullptr;
    int templateId = 0;
    bool paintPending = false;
};

struct PostedMessage {
    WindowHandle window;
    std::uint32_t message;
    MessageParam wParam;
    MessageData lParam;
};

// Calls the simulated back end can be told to fail, to test the module's error paths.
struct Faults {
    bool enumWindowsFails = false; // EnumWindows returns 0 with a last error of its own
    int failAllocationAfter = -1;  // allocations succeed this many times, then fail (-1: never)
    long long copyFailsAfterBytes = -1; // CopyFileA's disk fills after this many bytes (-1: never)
    std::function<void()> beforeCopy;   // runs inside CopyFileA before it looks at the source
    std::uint32_t longPathSize = 0;     // GetLongPathNameA reports needing this many bytes (0: off)
};

class Desktop {
public:
    // The process that the module runs in.
    std::uint32_t currentProcessId = 0;
    std::uint32_t lastError = 0;
    Faults faults;
    int liveAllocations = 0; // blocks from AllocateMemory not yet released
    std::deque<PostedMessage> queue;

    // Called when a posted BM_CLICK reaches a button, after its trace line.
    std::function<void(Window& button)> onButtonClick;

    // A new top-level window goes in front of the others, as a newly created window is
    // on top of the z-order and so enumerated first.
    WindowHandle CreateTopLevel(std::uint32_t processId, WindowKind kind, const std::string& text);
    // A new child goes after its existing siblings.
    WindowHandle CreateChild(WindowHandle parent, WindowKind kind, int controlId,
                             const std::string& text);
    void Destroy(WindowHandle handle);
    Window* Find(WindowHandle handle);
    const std::vector<WindowHandle>& TopLevelWindows() const { return topLevel_; }

    // Shows or hides a window. A dialog whose visibility changes gets WM_SHOWWINDOW at once;
    // showing a window makes every other visible dialog of the process due for a repaint.
    void Show(WindowHandle handle, bool visible);

    // Sends a message: handled by the control itself, or by a dialog's procedure.
    MessageData Send(WindowHandle handle, std::uint32_t message, MessageParam wParam,
                     MessageData lParam);

    // Takes the next posted message and delivers it; false when the queue is empty.
    bool DispatchPosted();
    // Delivers one due WM_PAINT, as a real message loop does when the queue is empty.
    bool DeliverPendingPaint();

private:
    WindowHandle NewHandle();
    MessageData SendToTree(Window& tree, std::uint32_t message, MessageParam wParam,
                           MessageData lParam);

    std::map<WindowHandle, std::unique_ptr<Window>> windows_;
    std::vector<WindowHandle> topLevel_;
    // Above 4 GiB on 64-bit builds, so that code that truncates a handle to 32 bits fails.
    std::uintptr_t nextHandle_ = (std::uintptr_t{1} << (sizeof(void*) > 4 ? 32 : 16)) + 0x10010;
};

// The one desktop of this process.
Desktop& TheDesktop();
// Forgets every window, message and fault, for the next test.
void ResetDesktop(std::uint32_t currentProcessId);

// Trace lines: the host's stable record of what happened. Printed to standard output
// unless a test captures them.
void Trace(const std::string& line);
void SetTraceSink(std::function<void(const std::string&)> sink);

} // namespace sim
