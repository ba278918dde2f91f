#include "testbed/desktop/launchpad_window.h"

#include "testbed/desktop/desktop.h"

namespace sim {

namespace {

WindowHandle AddControl(WindowHandle parent, WindowKind kind,
                        const model::LaunchpadControl& control,
                        const model::LaunchpadLayout& layout) {
    if (!layout.Has(control)) {
        return nullptr;
    }
    Desktop& desktop = TheDesktop();
    const WindowHandle handle = desktop.CreateChild(parent, kind, control.id, control.caption);
    if (Window* window = desktop.Find(handle)) {
        window->traceName = control.traceName;
    }
    return handle;
}

} // namespace

Launchpad BuildLaunchpad(const model::LaunchpadLayout& layout,
                         const std::vector<std::string>& entries) {
    Desktop& desktop = TheDesktop();
    Launchpad pad;
    pad.window = desktop.CreateTopLevel(desktop.currentProcessId, WindowKind::Frame, "Launchpad");
    pad.exitButton = AddControl(pad.window, WindowKind::Button, model::EXIT_BUTTON, layout);
    pad.launchButton = AddControl(pad.window, WindowKind::Button, model::LAUNCH_BUTTON, layout);
    for (int filler = 1; filler < layout.pageOffset; ++filler) {
        desktop.CreateChild(pad.window, WindowKind::Button, model::FillerId(filler),
                            model::FILLER_CAPTION);
    }
    pad.page = desktop.CreateChild(pad.window, WindowKind::Frame, 0, "Scenario page");
    pad.scenarioTree = AddControl(pad.page, WindowKind::TreeView, model::SCENARIO_TREE, layout);
    pad.pausedCheck = AddControl(pad.page, WindowKind::CheckBox, model::START_PAUSED_BOX, layout);
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
