#include "testbed/hosts/core/orbiter_session.h"

#include "testbed/hosts/core/scenario_entries.h"
#include "testbed/hosts/core/scenario_files.h"
#include "testbed/orbiter-model/trace_lines.h"

#include <algorithm>
#include <cstdio>

namespace core {

namespace {

// A bound on messages, so that a module that keeps posting cannot hang a test.
constexpr int MESSAGE_LIMIT = 100000;

} // namespace

int OrbiterSession::Run(const std::vector<ModuleToLoad>& modules) {
    for (const ModuleToLoad& module : modules) {
        Trace(LoadModule(module) ? model::ModuleLoadedLine(module.name)
                                 : model::ModuleFailedLine(module.name));
    }
    int handled = 0;
    while (!exitRequested_) {
        if (++handled > MESSAGE_LIMIT || OutOfTime()) {
            Trace(model::LOOP_GAVE_UP_LINE);
            return LOOP_LIMIT_STATUS;
        }
        if (HandleMessage() || ActAsUser()) {
            continue;
        }
        if (keepOpen_) {
            WaitWhileKeptOpen();
            continue;
        }
        Trace(model::USER_CLOSE_ORBITER_LINE);
        break;
    }
    UnloadModules();
    AtNormalEnd();
    Trace(model::OrbiterExitLine(0));
    return 0;
}

void OrbiterSession::StartSimulation() {
    const std::optional<std::string> entry = SelectedEntry();
    if (!entry) {
        Trace(model::NO_SCENARIO_LINE);
        return;
    }
    const bool paused = StartPaused();
    ShowLaunchpad(false);
    OpenRenderViewports();
    const std::string separator(1, PathSeparator());
    std::string file = "Scenarios" + separator + *entry + ".scn";
    std::replace(file.begin(), file.end(), '\\', PathSeparator());
    const std::optional<std::string> scenario = ReadWholeFile(file);
    Trace(model::SimulationStartLine(*entry, paused,
                                     scenario ? std::optional(Cksum(*scenario)) : std::nullopt));
    LastOutSession();
    Trace(model::SIMULATION_END_LINE);
    const std::string currentState = "Scenarios" + separator + CURRENT_STATE + ".scn";
    if (!SaveFinalState(currentState, scenario)) {
        std::fprintf(stderr, "%s: cannot save the final state to %s\n", Name(),
                     currentState.c_str());
    }
    CloseRenderViewports();
    ShowLaunchpad(true);
}

bool OrbiterSession::ActAsUser() {
    if (pending_.closeUsage && UsageDialogOpen()) {
        pending_.closeUsage = false;
        Trace(model::USER_CLOSE_USAGE_LINE);
        CloseUsageDialog();
        return true;
    }
    if (pending_.launch && LaunchpadVisible()) {
        pending_.launch = false;
        Trace(model::USER_LAUNCH_LINE);
        StartSimulation();
        return true;
    }
    return false;
}

} // namespace core
