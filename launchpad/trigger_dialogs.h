// The module presses the launchpad's buttons from the procedures of tiny dialogs that
// Orbiter opens for it, never from inside InitModule: a click is posted, and Orbiter's own
// message loop delivers it once the module has returned.
#pragma once

#include "platform/platform.h"

#include <cstdint>

// Launch trigger: every WM_SHOWWINDOW, shown or hidden, posts one click on Launch.
std::intptr_t PLATFORM_CALLBACK LaunchDlgProc(WindowHandle window, std::uint32_t message,
                                              MessageParam wParam, MessageData lParam);
// Exit trigger: every message while the launchpad is visible posts one click on Exit.
std::intptr_t PLATFORM_CALLBACK ExitDlgProc(WindowHandle window, std::uint32_t message,
                                            MessageParam wParam, MessageData lParam);
// Usage dialog: closes on WM_CLOSE (its close box).
std::intptr_t PLATFORM_CALLBACK UsageDlgProc(WindowHandle window, std::uint32_t message,
                                             MessageParam wParam, MessageData lParam);

// The last phase of the start-up sequence: the launch trigger when the scenario was staged,
// else the exit trigger with option x, else the usage dialog when the line had tokens,
// else nothing.
void OpenStartDialog(bool scenarioStaged);

// After a simulation window has closed: the exit trigger, with option e. Whatever dialog
// the module held is forgotten without being closed.
void OpenExitTriggerAfterShutdown();
