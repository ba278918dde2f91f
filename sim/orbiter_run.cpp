#include "sim/orbiter_run.h"

#include "sim/desktop.h"
#include "sim/host/scenario_entries.h"
#include "sim/orbiter_api.h"

namespace sim {

namespace {

// A bound on messages, so that a module that keeps posting cannot hang a test.
constexpr int MESSAGE_LIMIT = 100000;
constexpr int LOOP_LIMIT_STATUS = 3;

struct Orbiter {
    LoadedModule& module;
    Launchpad pad;
    UserActions pending;
    bool exitRequested = false;

    void StartSimulation() {
        Desktop& desktop = TheDesktop();
        const Window* tree = desktop.Find(pad.scenarioTree);
        if (tree == nullptr || tree->selectedItem < 0) {
            Trace("simulation: no scenario selected");
            return;
        }
        const std::string entry = tree->treeItems[static_cast<std::size_t>(tree->selectedItem)];
        const Window* check = desktop.Find(pad.pausedCheck);
        const bool paused = check != nullptr && check->checked;
        desktop.Show(pad.window, false);
        module.openRenderViewport(module.instance);
        Trace("simulation: start \"" + entry + "\" " + (paused ? "paused" : "running"));
        Trace("simulation: end");
        module.closeRenderViewport();
        desktop.Show(pad.window, true);
    }

    WindowHandle OpenUsageDialog() const {
        for (WindowHandle handle : TheDesktop().TopLevelWindows()) {
            const Window* window = TheDesktop().Find(handle);
            if (window->kind == WindowKind::Dialog && window->templateId == 102) {
                return handle;
            }
        }
        return nullptr;
    }

    // What the simulated user does when nothing else is left to do; false when nothing.
    bool ActAsUser() {
        if (pending.closeUsage && OpenUsageDialog() != nullptr) {
            pending.closeUsage = false;
            Trace("user: close usage");
            TheDesktop().Send(OpenUsageDialog(), WM_CLOSE_MSG, 0, 0);
            return true;
        }
        if (pending.launch && platform::IsWindowVisible(pad.window)) {
            pending.launch = false;
            Trace("user: launch");
            StartSimulation();
            return true;
        }
        return false;
    }
};

} // namespace

int RunOrbiter(const RunOptions& options, LoadedModule& module) {
    Desktop& desktop = TheDesktop();
    TheOrbiter().commandLine = options.commandLine;
    Orbiter orbiter{module, BuildLaunchpad(options.layout, FindScenarioEntries(options.root)),
                    options.user};
    desktop.onButtonClick = [&orbiter](Window& button) {
        if (button.handle == orbiter.pad.launchButton) {
            orbiter.StartSimulation();
        } else if (button.handle == orbiter.pad.exitButton) {
            orbiter.exitRequested = true;
        }
    };

    Trace("module: version " + std::to_string(module.getModuleVersion()));
    module.initModule(module.instance);

    int handled = 0;
    while (!orbiter.exitRequested) {
        if (++handled > MESSAGE_LIMIT) {
            Trace("orbiter: the message loop did not settle; giving up");
            return LOOP_LIMIT_STATUS;
        }
        if (desktop.DispatchPosted() || desktop.DeliverPendingPaint() || orbiter.ActAsUser()) {
            continue;
        }
        Trace("user: close orbiter");
        break;
    }
    desktop.onButtonClick = nullptr;
    if (module.unload) {
        module.unload();
    }
    Trace("orbiter: exit 0");
    return 0;
}

} // namespace sim
