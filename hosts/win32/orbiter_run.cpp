#include "orbiter_run.h"

#include "close_box.h"
#include "extra_windows.h"
#include "hosts/core/scenario_entries.h"
#include "hosts/core/simulation_session.h"
#include "launchpad.h"
#include "orbiter_exports.h"
#include "orbiter_files.h"
#include "trace.h"

#include <cstdio>
#include <vector>

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
// A real simulation session lasts at least as long as loading its scenario takes, about a second;
// a tool that watches Orbiter's files must cope with that much and no more.
constexpr DWORD SESSION_MS = 1000;
const char CURRENT_STATE_FILE[] = "Scenarios\\(Current state).scn";

const char RENDER_CLASS[] = "SkarvelHostRenderWindow";

// A module as Orbiter holds it once loaded: the library and the notifications it exports.
struct LoadedModule {
    HMODULE library = nullptr;
    // Orbiter's own signature; the module exports ExitModule under this name, which takes one
    // argument and ignores it: the C calling convention lets the caller pass more.
    void(__cdecl* openRenderViewport)(HWND, DWORD, DWORD, BOOL) = nullptr;
    void(__cdecl* closeRenderViewport)() = nullptr;
};

template <typename Function> Function Export(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

// Loads each module in turn, as Orbiter does: LoadLibrary runs the module's DllMain, whose
// InitLib starts the module before LoadLibrary returns. A module that fails to load is reported
// and skipped.
std::vector<LoadedModule> LoadModules(const std::vector<core::ModuleToLoad>& modules) {
    std::vector<LoadedModule> loaded;
    for (const core::ModuleToLoad& module : modules) {
        const HMODULE library = LoadLibraryA(FullPath(module.path).c_str());
        if (library == nullptr) {
            const DWORD error = GetLastError();
            LogFailedModule(module.path, error);
            std::fprintf(stderr, "orbiter.exe: cannot load the module %s (error %lu). %s\n",
                         module.path.c_str(), error,
                         error == ERROR_MOD_NOT_FOUND
                             ? "Put it in Modules\\Plugin under Orbiter's folder, or name it "
                               "with --module."
                             : "Its imports may not match what this orbiter.exe exports "
                               "(objdump -p shows both tables).");
            Trace("module: failed loading " + module.name);
            continue;
        }
        Trace("module: loaded " + module.name);
        loaded.push_back(
            {library,
             Export<decltype(LoadedModule::openRenderViewport)>(library, "opcOpenRenderViewport"),
             Export<decltype(LoadedModule::closeRenderViewport)>(library,
                                                                 "opcCloseRenderViewport")});
    }
    return loaded;
}

struct Orbiter {
    std::vector<LoadedModule> modules;
    Launchpad pad;
    core::UserActions pending;
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
        for (const LoadedModule& module : modules) {
            if (module.openRenderViewport != nullptr) {
                module.openRenderViewport(render, 320, 240, FALSE);
            }
        }
        const std::optional<std::string> scenario =
            core::ReadWholeFile("Scenarios\\" + *entry + ".scn");
        Trace(core::SimulationStartLine(*entry, paused, scenario));
        Sleep(SESSION_MS);
        Trace("simulation: end");
        if (!core::SaveFinalState(CURRENT_STATE_FILE, scenario)) {
            std::fprintf(stderr, "orbiter.exe: cannot save the final state to %s\n",
                         CURRENT_STATE_FILE);
        }
        for (const LoadedModule& module : modules) {
            if (module.closeRenderViewport != nullptr) {
                module.closeRenderViewport();
            }
        }
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

std::string FullPath(const std::string& path) {
    char full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? full : path;
}

int RunOrbiter(const core::RunOptions& options) {
    WriteStartFiles();
    SetOrbiterCommandLine(options.commandLine);
    Orbiter orbiter{{}, Launchpad(), options.user};
    orbiter.pad.onLaunch = [&orbiter] { orbiter.StartSimulation(); };
    orbiter.pad.onExit = [&orbiter] { orbiter.exitRequested = true; };
    std::string error;
    if (!orbiter.pad.Build(options.layout, core::FindScenarioEntries(options.root), error)) {
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

    // Orbiter loads its modules once the launchpad is on screen.
    orbiter.modules = LoadModules(options.modules);

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
        if (!Idle() || orbiter.ActAsUser() || options.user.keepOpen) {
            continue;
        }
        Trace("user: close orbiter");
        break;
    }
    // Unloading runs each module's detach glue, which closes any dialog it still has open.
    for (auto module = orbiter.modules.rbegin(); module != orbiter.modules.rend(); ++module) {
        FreeLibrary(module->library);
    }
    RewriteOrbiterCfg();
    Trace("orbiter: exit 0");
    return 0;
}

} // namespace host
