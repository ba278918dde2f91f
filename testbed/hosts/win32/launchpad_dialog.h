// The host's launchpad: real windows with the layout the module expects (launch and exit
// buttons, the page window as the fifth next sibling of Launch, a tree-view and a check box
// on the page), or one of the faults the module must survive.
#pragma once

#include "testbed/orbiter-model/launchpad_layout.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace host {

class Launchpad : public model::LaunchpadWindows<HWND> {
public:
    // Builds the launchpad from this executable's templates and shows it unless the layout
    // hides it. False, with the reason, when a window cannot be made.
    bool Build(const model::LaunchpadLayout& layout, const std::vector<std::string>& entries,
               std::string& error);

    // The text of the selected tree entry, or nullopt without a tree or a selection.
    std::optional<std::string> SelectedEntry() const;
    bool StartPaused() const;

    // Run when Launch or Exit reports a click (BN_CLICKED).
    std::function<void()> onLaunch;
    std::function<void()> onExit;

private:
    static INT_PTR CALLBACK LaunchpadProc(HWND, UINT, WPARAM, LPARAM);
    static INT_PTR CALLBACK PageProc(HWND, UINT, WPARAM, LPARAM);
    void FillTree(const std::vector<std::string>& entries) const;
    // Handles the tree's selection notifications; true when the result was set.
    bool OnTreeNotify(HWND page, const NMHDR& header) const;

    bool refuseSelection_ = false;
};

} // namespace host
