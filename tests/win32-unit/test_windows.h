// Real windows for the locator tests: a launchpad with Orbiter's layout, plain top-level
// windows, and a window of another process.
#pragma once

#include "hosts/core/run_options.h"

#include <windows.h>

#include <string>

struct TestLaunchpad {
    HWND window = nullptr;
    HWND exitButton = nullptr;
    HWND launchButton = nullptr;
    HWND page = nullptr;
    HWND tree = nullptr;
    HWND check = nullptr;
};

// Builds the launchpad the layout gives (hidden, controls left out, the page elsewhere, a
// vetoing or empty tree, a plain window of this process on top): Exit, Launch, pageOffset-1 tab
// buttons, then the page with the tree, holding "(Current state)" and "Demo", and the
// start-paused box (ticked, so that clearing it shows).
TestLaunchpad BuildLaunchpad(const core::LaunchpadLayout& layout = {});
// A top-level window of this process without controls, on top of the z-order.
HWND ShowPlainWindow(bool visible);
// Destroys every top-level window the functions above made, for the next test.
void DestroyTestWindows();
// The text of the tree's selected item, or "" when none is selected.
std::string SelectedText(HWND tree);

// A second copy of the test program that shows a visible window on top of the z-order and
// keeps it until it is told to go. Ends it on destruction.
class ForeignWindow {
public:
    ForeignWindow();
    ~ForeignWindow();
    ForeignWindow(const ForeignWindow&) = delete;
    ForeignWindow& operator=(const ForeignWindow&) = delete;
    bool Shown() const { return shown_; }

private:
    PROCESS_INFORMATION process_{};
    bool shown_ = false;
};

// What the second copy runs, when the test program is started with this option.
extern const char FOREIGN_WINDOW_OPTION[];
int RunForeignWindow(const char* readyEventName);
