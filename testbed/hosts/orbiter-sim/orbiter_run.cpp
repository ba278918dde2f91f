#include "testbed/hosts/orbiter-sim/orbiter_run.h"

#include "resources/resource_ids.h"
#include "testbed/desktop/desktop.h"
#include "testbed/desktop/launchpad_window.h"
#include "testbed/hosts/core/orbiter_session.h"
#include "testbed/hosts/core/scenario_entries.h"
#include "testbed/hosts/orbiter-sim/orbiter_api.h"
#include "testbed/sim-platform/module_image.h"

#include <cstdio>
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

namespace sim {

namespace {

// A module as Orbiter holds it once loaded: the library and the notifications it exports.
struct LoadedModule {
    void* library = nullptr;
    InstanceHandle instance = nullptr;
    void (*openRenderViewport)(InstanceHandle) = nullptr;
    void (*closeRenderViewport)() = nullptr;
};

// Orbiter's run on the simulated desktop: modules loaded with dlopen, the desktop's queue as the
// message loop.
class Orbiter : public core::OrbiterSession {
public:
    Orbiter(const core::UserActions& user, const Launchpad& launchpad)
        : OrbiterSession(user), pad(launchpad) {}

    const Launchpad pad;

private:
    void Trace(const std::string& line) override { sim::Trace(line); }
    const char* Name() const override { return "orbiter-sim"; }
    char PathSeparator() const override { return '/'; }

    bool LoadModule(const core::ModuleToLoad& module) override {
        void* library = dlopen(module.path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            std::fprintf(stderr, "orbiter-sim: cannot load the module %s: %s\n",
                         module.path.c_str(), dlerror());
            return false;
        }
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
        modules_.push_back(entry);
        return true;
    }

    void UnloadModules() override {
        TheDesktop().onButtonClick = nullptr;
        for (auto module = modules_.rbegin(); module != modules_.rend(); ++module) {
            dlclose(module->library);
        }
    }

    void OpenRenderViewports() override {
        for (const LoadedModule& module : modules_) {
            if (module.openRenderViewport != nullptr) {
                module.openRenderViewport(module.instance);
            }
        }
    }

    void CloseRenderViewports() override {
        for (const LoadedModule& module : modules_) {
            if (module.closeRenderViewport != nullptr) {
                module.closeRenderViewport();
            }
        }
    }

    std::optional<std::string> SelectedEntry() const override {
        const Window* tree = TheDesktop().Find(pad.scenarioTree);
        if (tree == nullptr || tree->selectedItem < 0) {
            return std::nullopt;
        }
        return tree->treeItems[static_cast<std::size_t>(tree->selectedItem)];
    }

    bool StartPaused() const override {
        const Window* check = TheDesktop().Find(pad.pausedCheck);
        return check != nullptr && check->checked;
    }

    void ShowLaunchpad(bool shown) override { TheDesktop().Show(pad.window, shown); }
    bool LaunchpadVisible() const override { return platform::IsWindowVisible(pad.window); }

    WindowHandle OpenUsageDialog() const {
        for (WindowHandle handle : TheDesktop().TopLevelWindows()) {
            const Window* window = TheDesktop().Find(handle);
            if (window->kind == WindowKind::Dialog && window->templateId == IDD_USAGE) {
                return handle;
            }
        }
        return nullptr;
    }
    bool UsageDialogOpen() const override { return OpenUsageDialog() != nullptr; }
    void CloseUsageDialog() override { TheDesktop().Send(OpenUsageDialog(), WM_CLOSE_MSG, 0, 0); }

    bool HandleMessage() override {
        return TheDesktop().DispatchPosted() || TheDesktop().DeliverPendingPaint();
    }

    // Nothing can happen on the simulated desktop any more: wait to be stopped.
    void WaitWhileKeptOpen() override {
        for (;;) {
            pause();
        }
    }

    std::vector<LoadedModule> modules_;
};

} // namespace

int RunOrbiter(const core::RunOptions& options) {
    TheOrbiter().commandLine = options.commandLine;
    Orbiter orbiter(options.user,
                    BuildLaunchpad(options.layout, core::FindScenarioEntries(options.root)));
    TheDesktop().onButtonClick = [&orbiter](Window& button) {
        if (button.handle == orbiter.pad.launchButton) {
            orbiter.StartSimulation();
        } else if (button.handle == orbiter.pad.exitButton) {
            orbiter.RequestExit();
        }
    };
    const int status = orbiter.Run(options.modules);
    TheDesktop().onButtonClick = nullptr;
    return status;
}

} // namespace sim
