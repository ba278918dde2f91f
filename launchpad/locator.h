// Finds Orbiter's launchpad among the windows of this process and prepares its controls.
#pragma once

#include "platform/platform.h"

#include <cstdint>

// The search record handed to MatchLaunchpadWindow: the process identifier on the way in,
// the found window on the way out. It is pointer-sized so that a window handle fits.
using SearchRecord = std::uintptr_t;

// EnumWindows callback: stops at the first visible window of the record's process.
std::int32_t PLATFORM_CALLBACK MatchLaunchpadWindow(WindowHandle window, MessageData record);

// Stores the launchpad and its four controls in moduleState, selects the scenario tree's
// first root entry and clears the start-paused box. Ends the process with exit code -1
// when anything is missing or the selection is refused.
void FindLaunchpad();
