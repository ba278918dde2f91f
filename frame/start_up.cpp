#include "frame/start_up.h"

#include "frame/module_state.h"
#include "launchpad/locator.h"
#include "launchpad/trigger_dialogs.h"
#include "request/launch_request.h"

namespace {

// The options' flags as they stand before the command line is read.
void ResetFlags() {
    moduleState.exitAfterShutdown = 0;
    moduleState.exitIfMissing = 0;
    moduleState.reportMissing = 1;
}

} // namespace

void RunStartUp(InstanceHandle instance) {
    moduleState.instance = instance;
    ResetFlags();
    // The launchpad is prepared before the command line is read, so the first tree entry is
    // selected and the start-paused box cleared even when the line is empty.
    FindLaunchpad();
    // The two path buffers live as long as the start-up sequence, and only that long.
    char workBuffer[PATH_BUFFER_SIZE] = {};
    char requestBuffer[PATH_BUFFER_SIZE] = {};
    const bool scenarioStaged =
        ApplyCommandLine(workBuffer, requestBuffer) && StageScenario(workBuffer, requestBuffer);
    OpenStartDialog(scenarioStaged);
}
