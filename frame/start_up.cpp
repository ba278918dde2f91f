#include "frame/start_up.h"

#include "frame/module_state.h"
#include "launchpad/locator.h"

namespace {

void ResetFlags(InstanceHandle instance) {
    moduleState.instance = instance;
    moduleState.exitIfMissing = 0;
    moduleState.reportMissing = 1;
}

// Reads the command line, applies its options and copies the requested scenario over
// "(Current state)". Returns whether the copy succeeded. Not built yet: nothing is copied.
bool StageLaunchRequest() {
    return false;
}

// Opens the launch trigger, the exit trigger, the usage dialog or nothing. Not built yet.
void OpenStartDialog(bool /*scenarioCopied*/) {}

} // namespace

void RunStartUp(InstanceHandle instance) {
    ResetFlags(instance);
    // The launchpad is prepared before the command line is read, so the first tree entry is
    // selected and the start-paused box cleared even when the line is empty.
    FindLaunchpad();
    const bool scenarioCopied = StageLaunchRequest();
    OpenStartDialog(scenarioCopied);
}
