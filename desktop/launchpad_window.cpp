#include "desktop/launchpad_window.h"

#include "desktop/desktop.h"
#include "launchpad/launchpad_ids.h"

namespace sim {

namespace {

WindowHandle AddControl(WindowHandle parent, WindowKind kind, int id, const std::string& text,
                        const core::LaunchpadLayout& layout) {
    if (layout.without.count(id) != 0) {
        return nullptr;
    }
    return TheDesktop().CreateChild(parent, kind, id, text);
}

} // namespace

Launchpad BuildLaunchpad(const core::LaunchpadLayout& layout,
                         const std::vector<std::string>& entries) {
    Desktop& desktop = TheDesktop();
    Launchpad pad;
    pad.window = desktop.CreateTopLevel(desktop.currentProcessId, WindowKind::Frame, "Launchpad");
    pad.exitButton = AddControl(pad.window, WindowKind::Button, IDC_EXIT, "Exit", layout);
    pad.launchButton =
        AddControl(pad.window, WindowKind::Button, IDC_LAUNCH, "Launch Orbiter", layout);
    // Other launchpad controls stand between the launch button and the page window.
    for (int filler = 1; filler < layout.pageOffset; ++filler) {
        desktop.CreateChild(pad.window, WindowKind::Button, 1100 + filler, "Tab");
    }
    pad.page = desktop.CreateChild(pad.window, WindowKind::Frame, 0, "Scenario page");
    pad.scenarioTree = AddControl(pad.page, WindowKind::TreeView, IDC_SCENARIO_TREE, "", layout);
    pad.pausedCheck =
        AddControl(pad.page, WindowKind::CheckBox, IDC_START_PAUSED, "Start paused", layout);

    if (Window* launch = desktop.Find(pad.launchButton)) {
        launch->traceName = "launch";
    }
    if (Window* exit = desktop.Find(pad.exitButton)) {
        exit->traceName = "exit";
    }
    if (Window* check = desktop.Find(pad.pausedCheck)) {
        check->traceName = "start-paused";
    }
    if (Window* tree = desktop.Find(pad.scenarioTree)) {
        tree->refuseSelection = layout.refuseSelection;
        if (!layout.emptyTree) {
            tree->treeItems = entries;
        }
    }
    desktop.Show(pad.window, !layout.hidden);

    // Windows created later are enumerated first.
    if (layout.otherWindow) {
        desktop.Show(desktop.CreateTopLevel(desktop.currentProcessId, WindowKind::Frame, "Splash"),
                     true);
    }
    if (layout.foreignWindow) {
        desktop.Show(desktop.CreateTopLevel(desktop.currentProcessId + 1, WindowKind::Frame,
                                            "Another program"),
                     true);
    }
    return pad;
}

} // namespace sim
