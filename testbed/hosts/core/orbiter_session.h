// The steps of one Orbiter run as both hosts take them: loading the modules, the message loop,
// the simulated user, and a simulation session started from the launchpad. A host derives from
// OrbiterSession and does each step's part that needs its own windows, loader or queue.
#pragma once

#include "testbed/hosts/core/run_options.h"

#include <optional>
#include <string>

namespace core {

class OrbiterSession {
public:
    // The exit status when the message loop does not settle.
    static constexpr int LOOP_LIMIT_STATUS = 3;

    explicit OrbiterSession(const UserActions& user) : pending_(user), keepOpen_(user.keepOpen) {}
    virtual ~OrbiterSession() = default;

    // Loads each module in turn, as Orbiter does once its launchpad is on screen, then runs the
    // message loop until Exit is clicked or the simulated user closes Orbiter, and unloads the
    // modules, last first. Returns the exit status.
    int Run(const std::vector<ModuleToLoad>& modules);

    // Launch: hides the launchpad, tells the modules the render window opened, reads the selected
    // scenario, lets the session last, saves the final state, and shows the launchpad again.
    void StartSimulation();

    // Exit was clicked: the loop ends at its next turn.
    void RequestExit() { exitRequested_ = true; }

protected:
    virtual void Trace(const std::string& line) = 0;
    // The host's name in messages on standard error.
    virtual const char* Name() const = 0;
    // The separator of the paths the host opens scenarios by.
    virtual char PathSeparator() const = 0;

    // Loads one module and keeps it; false, after saying why on standard error, when it cannot.
    // Loading runs the module's attach glue, whose InitLib starts the module before it returns.
    virtual bool LoadModule(const ModuleToLoad& module) = 0;
    // Unloads every module loaded, last first; unloading runs each one's detach glue.
    virtual void UnloadModules() = 0;
    // Tells every module loaded that the render window has opened, or is closing.
    virtual void OpenRenderViewports() = 0;
    virtual void CloseRenderViewports() = 0;

    // The launchpad: the text of the selected tree entry (nullopt without a tree or a
    // selection), the start-paused box, and whether the launchpad is on screen.
    virtual std::optional<std::string> SelectedEntry() const = 0;
    virtual bool StartPaused() const = 0;
    virtual void ShowLaunchpad(bool shown) = 0;
    virtual bool LaunchpadVisible() const = 0;
    // How long a session lasts, once the scenario is read.
    virtual void LastOutSession() {}

    // The module's usage dialog: whether it is open, and closing it with its close box.
    virtual bool UsageDialogOpen() const = 0;
    virtual void CloseUsageDialog() = 0;

    // Handles one message; true when one was handled or more may be on their way, false when the
    // host is idle.
    virtual bool HandleMessage() = 0;
    // True once the run has lasted longer than the host allows.
    virtual bool OutOfTime() { return false; }
    // Idle, and asked never to close: waits (or returns, to turn the loop again).
    virtual void WaitWhileKeptOpen() {}
    // After the modules are unloaded, at a normal end.
    virtual void AtNormalEnd() {}

private:
    // What the simulated user does when nothing else is left to do; false when nothing.
    bool ActAsUser();

    UserActions pending_;
    bool keepOpen_;
    bool exitRequested_ = false;
};

} // namespace core
