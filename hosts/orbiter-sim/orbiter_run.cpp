#include "hosts/orbiter-sim/orbiter_run.h"

#include "desktop/desktop.h"
#include "desktop/launchpad_window.h"
#include "hosts/core/scenario_entries.h"
#include "hosts/core/simulation_session.h"
#include "hosts/orbiter-sim/orbiter_api.h"
#include "platform/sim/module_image.h"

#include <algorithm>
#include <cstdio>
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

namespace sim {

namespace {

// A bound on messages, so that a module that keeps posting cannot hang a test.
constexpr int MESSAGE_LIMIT = 100000;
constexpr int LOOP_LIMIT_STATUS = 3;

// A module as Orbiter holds it once loaded: the library and the notifications it exports.
struct LoadedModule {
    void* library = nullptr;
    InstanceHandle instance = nullptr;
    void (*openRenderViewport)(InstanceHandle) = nullptr;
    void (*closeRenderViewport)() = nullptr;
};

// Loads each module in turn, as Orbiter does: loading runs the module's attach glue, whose
// InitLib starts the module before the load returns. A module that fails to load is reported
// and skipped.
std::vector<LoadedModule> LoadModules(const std::vector<core::ModuleToLoad>& modules) {
    std::vector<LoadedModule> loaded;
    for (const core::ModuleToLoad& module : modules) {
        void* library = dlopen(module.path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            std::fprintf(stderr, "orbiter-sim: cannot load the module %s: %s\n",
                         module.path.c_str(), dlerror());
            Trace("module: failed loading " + module.name);
            continue;
        }
        Trace("module: loaded " + module.name);
        LoadedModule entry;
        entry.library = library;
        link_map* image = nullptr;
        if (dlinfo(library, RTLD_DI_LINKMAP, &image) == 0) {
            entry.instance = InstanceContaining(image->l_ld);
        }
        entry.openRenderViewport =
            reinterpret_cast<void (*)(InstanceHandle)>(dlsym(library, "opcOpenRenderViewport"));
        entry.closeRenderViewport =
            reinterpret_cast<void (*)()>(dlsym(library, "opcCloseRenderViewport"));
        loaded.push_back(entry);
    }
    return loaded;
}

struct Orbiter {
    std::vector<LoadedModule> modules;
    Launchpad pad;
    core::UserActions pending;
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
        for (const LoadedModule& module : modules) {
            if (module.openRenderViewport != nullptr) {
                module.openRenderViewport(module.instance);
            }
        }
        std::string file = "Scenarios/" + entry + ".scn";
        std::replace(file.begin(), file.end(), '\\', '/');
        const std::optional<std::string> scenario = core::ReadWholeFile(file);
        Trace(core::SimulationStartLine(entry, paused, scenario));
        Trace("simulation: end");
        if (!core::SaveFinalState("Scenarios/(Current state).scn", scenario)) {
            std::fprintf(stderr, "orbiter-sim: cannot save the final state to "
                                 "Scenarios/(Current state).scn\n");
        }
        for (const LoadedModule& module : modules) {
            if (module.closeRenderViewport != nullptr) {
                module.closeRenderViewport();
            }
        }
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

int RunOrbiter(const core::RunOptions& options) {
    Desktop& desktop = TheDesktop();
    TheOrbiter().commandLine = options.commandLine;
    Orbiter orbiter{
        {}, BuildLaunchpad(options.layout, core::FindScenarioEntries(options.root)), options.user};
    desktop.onButtonClick = [&orbiter](Window& button) {
        if (button.handle == orbiter.pad.launchButton) {
            orbiter.StartSimulation();
        } else if (button.handle == orbiter.pad.exitButton) {
            orbiter.exitRequested = true;
        }
    };
    // Orbiter loads its modules once the launchpad is on screen.
    orbiter.modules = LoadModules(options.modules);

    int handled = 0;
    while (!orbiter.exitRequested) {
        if (++handled > MESSAGE_LIMIT) {
            Trace("orbiter: the message loop did not settle; giving up");
            return LOOP_LIMIT_STATUS;
        }
        if (desktop.DispatchPosted() || desktop.DeliverPendingPaint() || orbiter.ActAsUser()) {
            continue;
        }
        if (options.user.keepOpen) {
            // Nothing can happen on the simulated desktop any more: wait to be stopped.
            for (;;) {
                pause();
            }
        }
        Trace("user: close orbiter");
        break;
    }
    desktop.onButtonClick = nullptr;
    // Unloading runs each module's detach glue.
    for (auto module = orbiter.modules.rbegin(); module != orbiter.modules.rend(); ++module) {
        dlclose(module->library);
    }
    Trace("orbiter: exit 0");
    return 0;
}

} // namespace sim
