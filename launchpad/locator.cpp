#include "launchpad/locator.h"

#include "frame/module_state.h"
#include "launchpad/launchpad_ids.h"

namespace {

constexpr int LOCATOR_FAILURE_STATUS = -1;

// Without its launchpad the module cannot do anything useful, and a half-driven
// launchpad is worse than none: end Orbiter at once, without a message.
void FailUnless(bool found) {
    if (!found) {
        platform::ExitWithStatus(LOCATOR_FAILURE_STATUS);
    }
}

} // namespace

std::int32_t PLATFORM_CALLBACK MatchLaunchpadWindow(WindowHandle window, MessageData record) {
    SearchRecord* cell = reinterpret_cast<SearchRecord*>(record);
    if (platform::GetWindowThreadProcessId(window) == *cell && platform::IsWindowVisible(window)) {
        // EnumWindows returns 0 both when stopped and when it fails; the sentinel tells them apart.
        platform::SetLastError(FOUND_SENTINEL);
        *cell = reinterpret_cast<SearchRecord>(window);
        return 0;
    }
    return 1;
}

void FindLaunchpad() {
    SearchRecord record = platform::GetCurrentProcessId();
    // EnumWindows returns 0 when the callback stopped it, and when it failed; the sentinel the
    // callback leaves tells which.
    const bool stoppedEarly =
        platform::EnumWindows(MatchLaunchpadWindow, reinterpret_cast<MessageData>(&record)) == 0;
    FailUnless(stoppedEarly);
    FailUnless(platform::GetLastError() == FOUND_SENTINEL);
    moduleState.launchpad = reinterpret_cast<WindowHandle>(record);

    moduleState.launchButton = platform::GetDlgItem(moduleState.launchpad, IDC_LAUNCH);
    FailUnless(moduleState.launchButton != nullptr);
    moduleState.exitButton = platform::GetDlgItem(moduleState.launchpad, IDC_EXIT);
    FailUnless(moduleState.exitButton != nullptr);

    WindowHandle page = moduleState.launchButton;
    for (int step = 0; step < PAGE_SIBLING_STEPS; ++step) {
        page = platform::GetWindow(page, GW_HWNDNEXT_CODE);
    }
    FailUnless(page != nullptr);

    moduleState.scenarioTree = platform::GetDlgItem(page, IDC_SCENARIO_TREE);
    FailUnless(moduleState.scenarioTree != nullptr);
    // The first root entry is "(Current state)", whose file the request overwrites.
    const MessageData firstRoot =
        platform::SendMessageA(moduleState.scenarioTree, TVM_GETNEXTITEM_MSG, TVGN_ROOT_CODE, 0);
    const MessageData selected = platform::SendMessageA(
        moduleState.scenarioTree, TVM_SELECTITEM_MSG, TVGN_CARET_CODE, firstRoot);
    FailUnless(selected != 0);

    moduleState.pausedCheck = platform::GetDlgItem(page, IDC_START_PAUSED);
    FailUnless(moduleState.pausedCheck != nullptr);
    platform::SendMessageA(moduleState.pausedCheck, BM_SETCHECK_MSG, BST_UNCHECKED_STATE, 0);
}
