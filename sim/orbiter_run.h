// One run of the simulated Orbiter: the launchpad, the module's start-up, the message
// loop, simulations started from the launchpad, and the simulated user.
#pragma once

#include "platform/platform.h"
#include "sim/launchpad_window.h"

#include <functional>
#include <optional>
#include <string>

namespace sim {

// The module as Orbiter sees it: its instance and the entry points it exports.
struct LoadedModule {
    InstanceHandle instance = nullptr;
    void (*initModule)(InstanceHandle) = nullptr;
    void (*openRenderViewport)(InstanceHandle) = nullptr;
    void (*closeRenderViewport)() = nullptr;
    std::int32_t (*getModuleVersion)() = nullptr;
    std::function<void()> unload; // runs the loader's detach glue
};

struct UserActions {
    bool closeUsage = false; // close the usage dialog with its close box when it appears
    bool launch = false;     // press Launch once when the launchpad is idle
};

struct RunOptions {
    std::optional<std::string> commandLine = std::string(); // nullopt: oapiGetCmdLine is null
    std::string root = ".";
    LaunchpadLayout layout;
    UserActions user;
};

// Runs Orbiter on the current simulated desktop until it ends; returns its exit status.
// The current directory must already be Orbiter's folder.
int RunOrbiter(const RunOptions& options, LoadedModule& module);

} // namespace sim
