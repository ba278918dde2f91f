#include "orbiter_run.h"

#include "close_box.h"
#include "extra_windows.h"
#include "launchpad.h"
#include "orbiter_exports.h"
#include "sim/host/scenario_entries.h"
#include "trace.h"

namespace host {

namespace {

// Bounds, so that a module that keeps posting, or a window that never settles, cannot hang a
// test: messages handled, and the run's whole time.
constexpr int MESSAGE_LIMIT = 100000;
constexpr DWORD RUN_TIME_LIMIT_MS = 30000;
constexpr int LOOP_LIMIT_STATUS = 3;
constexpr int SETUP_STATUS = 1;
// Under Wine, X events (exposure, focus) reach the queue a little after the call that caused
// them; the host counts as idle only after this long without a message.
constexpr DWORD SETTLE_MS = 100;
constexpr int USAGE_TEMPLATE = 102;

const char RENDER_CLASS[] = "SkarvelHostRenderWindow";

struct Orbiter {
    LoadedModule& module;
    Launchpad pad;
    sim::UserActions pending;
    bool exitRequested = false;

    HWND OpenRenderWindow() const {
        WNDCLASSA type{};
        type.lpfnWndProc = DefWindowProcA;
        type.hInstance = GetModuleHandleA(nullptr);
        type.lpszClassName = RENDER_CLASS;
        RegisterClassA(&type); // fails harmlessly when already registered
        return CreateWindowExA(0, RENDER_CLASS, "Orbiter render window",
                               WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    }

    void StartSimulation() {
        const std::optional<std::string> entry = pad.SelectedEntry();
        if (!entry) {
            Trace("simulation: no scenario selected");
            return;
        }
        const bool paused = pad.StartPaused();
        ShowWindow(pad.window, SW_HIDE);
        const HWND render = OpenRenderWindow();
        module.openRenderViewport(render, 320, 240, FALSE);
        Trace("simulation: start \"" + *entry + "\" " + (paused ? "paused" : "running"));
        Trace("simulation: end");
        module.closeRenderViewport();
        DestroyWindow(render);
        ShowWindow(pad.window, SW_SHOW);
    }

    // What the simulated user does when nothing else is left to do; false when nothing.
    bool ActAsUser() {
        if (pending.closeUsage && FindOpenDialog(USAGE_TEMPLATE) != nullptr) {
            pending.closeUsage = false;
            Trace("user: close usage");
            if (!ClickCloseBox(FindOpenDialog(USAGE_TEMPLATE))) {
                Trace("user: cannot click the usage dialog's close box");
            }
            return true;
        }
        if (pending.launch && IsWindowVisible(pad.window)) {
            pending.launch = false;
            Trace("user: launch");
            StartSimulation();
            return true;
        }
        return false;
    }
};

// Idle: no message now, and none arriving within the settle time.
bool Idle() {
    return MsgWaitForMultipleObjects(0, nullptr, FALSE, SETTLE_MS, QS_ALLINPUT) == WAIT_TIMEOUT;
}

} // namespace

int RunOrbiter(const sim::RunOptions& options, LoadedModule& module) {
    SetOrbiterCommandLine(options.commandLine);
    Orbiter orbiter{module, Launchpad(), options.user};
    orbiter.pad.onLaunch = [&orbiter] { orbiter.StartSimulation(); };
    orbiter.pad.onExit = [&orbiter] { orbiter.exitRequested = true; };
    std::string error;
    if (!orbiter.pad.Build(options.layout, sim::FindScenarioEntries(options.root), error)) {
        std::fprintf(stderr, "orbiter.exe: %s\n", error.c_str());
        return SETUP_STATUS;
    }
    // Windows shown later are on top, and so enumerated first.
    if (options.layout.otherWindow) {
        ShowOtherWindow();
    }
    if (options.layout.foreignWindow && !ShowForeignWindow(error)) {
        std::fprintf(stderr, "orbiter.exe: %s\n", error.c_str());
        return SETUP_STATUS;
    }

    Trace("module: version " + std::to_string(module.getModuleVersion()));
    module.initModule(module.instance);

    const DWORD deadline = GetTickCount() + RUN_TIME_LIMIT_MS;
    int handled = 0;
    while (!orbiter.exitRequested) {
        if (++handled > MESSAGE_LIMIT || static_cast<LONG>(GetTickCount() - deadline) > 0) {
            Trace("orbiter: the message loop did not settle; giving up");
            return LOOP_LIMIT_STATUS;
        }
        MSG message;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
            continue;
        }
        if (!Idle() || orbiter.ActAsUser()) {
            continue;
        }
        Trace("user: close orbiter");
        break;
    }
    // Unloading runs the module's detach glue, which closes any dialog it still has open.
    FreeLibrary(module.instance);
    Trace("orbiter: exit 0");
    return 0;
}

} // namespace host
