#include "orbiter_run.h"

#include "close_box.h"
#include "extra_windows.h"
#include "launchpad_dialog.h"
#include "orbiter_exports.h"
#include "orbiter_files.h"
#include "resources/resource_ids.h"
#include "testbed/hosts/core/orbiter_session.h"
#include "testbed/hosts/core/scenario_entries.h"
#include "testbed/orbiter-model/trace_lines.h"
#include "trace.h"

#include <cstdio>
#include <optional>
#include <vector>

namespace host {

namespace {

// A bound on the run's whole time, so that a window that never settles cannot hang a test.
constexpr DWORD RUN_TIME_LIMIT_MS = 30000;
constexpr int SETUP_STATUS = 1;
// Under Wine, X events (exposure, focus) reach the queue a little after the call that caused
// them; the host counts as idle only after this long without a message.
constexpr DWORD SETTLE_MS = 100;
// A real simulation session lasts at least as long as loading its scenario takes, about a second;
// a tool that watches Orbiter's files must cope with that much and no more.
constexpr DWORD SESSION_MS = 1000;

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

// Orbiter's run with real windows: modules loaded with LoadLibrary, the thread's queue as the
// message loop.
class Orbiter : public core::OrbiterSession {
public:
    explicit Orbiter(const core::UserActions& user) : OrbiterSession(user) {}

    Launchpad pad;

private:
    void Trace(const std::string& line) override { host::Trace(line); }
    const char* Name() const override { return "orbiter.exe"; }
    char PathSeparator() const override { return '\\'; }

    bool LoadModule(const core::ModuleToLoad& module) override {
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
            return false;
        }
        modules_.push_back(
            {library,
             Export<decltype(LoadedModule::openRenderViewport)>(library, "opcOpenRenderViewport"),
             Export<decltype(LoadedModule::closeRenderViewport)>(library,
                                                                 "opcCloseRenderViewport")});
        return true;
    }

    void UnloadModules() override {
        // Each module's detach glue closes any dialog it still has open.
        for (auto module = modules_.rbegin(); module != modules_.rend(); ++module) {
            FreeLibrary(module->library);
        }
    }

    void OpenRenderViewports() override {
        WNDCLASSA type{};
        type.lpfnWndProc = DefWindowProcA;
        type.hInstance = GetModuleHandleA(nullptr);
        type.lpszClassName = RENDER_CLASS;
        RegisterClassA(&type); // fails harmlessly when already registered
        render_ = CreateWindowExA(0, RENDER_CLASS, "Orbiter render window",
                                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
        for (const LoadedModule& module : modules_) {
            if (module.openRenderViewport != nullptr) {
                module.openRenderViewport(render_, 320, 240, FALSE);
            }
        }
    }

    void CloseRenderViewports() override {
        for (const LoadedModule& module : modules_) {
            if (module.closeRenderViewport != nullptr) {
                module.closeRenderViewport();
            }
        }
        DestroyWindow(render_);
        render_ = nullptr;
    }

    std::optional<std::string> SelectedEntry() const override { return pad.SelectedEntry(); }
    bool StartPaused() const override { return pad.StartPaused(); }
    void ShowLaunchpad(bool shown) override { ShowWindow(pad.window, shown ? SW_SHOW : SW_HIDE); }
    bool LaunchpadVisible() const override { return IsWindowVisible(pad.window); }
    void LastOutSession() override { Sleep(SESSION_MS); }

    bool UsageDialogOpen() const override { return FindOpenDialog(IDD_USAGE) != nullptr; }
    void CloseUsageDialog() override {
        if (!ClickCloseBox(FindOpenDialog(IDD_USAGE))) {
            Trace(model::USER_FINDS_NO_CLOSE_BOX_LINE);
        }
    }

    // A message dispatched, or one that may still arrive within the settle time.
    bool HandleMessage() override {
        MSG message;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
            return true;
        }
        return MsgWaitForMultipleObjects(0, nullptr, FALSE, SETTLE_MS, QS_ALLINPUT) != WAIT_TIMEOUT;
    }

    // The run's time is counted from the first turn of the message loop.
    bool OutOfTime() override {
        if (!deadline_) {
            deadline_ = GetTickCount() + RUN_TIME_LIMIT_MS;
        }
        return static_cast<LONG>(GetTickCount() - *deadline_) > 0;
    }

    void AtNormalEnd() override { RewriteOrbiterCfg(); }

    std::vector<LoadedModule> modules_;
    HWND render_ = nullptr;
    std::optional<DWORD> deadline_;
};

} // namespace

std::string FullPath(const std::string& path) {
    char full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return length > 0 && length < MAX_PATH ? full : path;
}

int RunOrbiter(const core::RunOptions& options) {
    WriteStartFiles();
    SetOrbiterCommandLine(options.commandLine);
    Orbiter orbiter(options.user);
    orbiter.pad.onLaunch = [&orbiter] { orbiter.StartSimulation(); };
    orbiter.pad.onExit = [&orbiter] { orbiter.RequestExit(); };
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
    return orbiter.Run(options.modules);
}

} // namespace host
