/* Orbiter's launchpad as both hosts build it: the controls the module drives, each with its id,
   its caption and the name trace lines give it; the controls between Launch and the page window;
   the windows a host holds; and the faults a host can build into it for the module to survive.
   The captions are plain defines, so that the Win32 host's resource script reads them too; it
   skips the rest. */
#pragma once

#include "launchpad/control_ids.h"

#define LAUNCH_CAPTION "Launch Orbiter"
#define EXIT_CAPTION "Exit"
#define START_PAUSED_CAPTION "Start paused"

#ifndef RC_INVOKED

#include "launchpad/launchpad_ids.h"

#include <set>

namespace model {

struct LaunchpadControl {
    int id;
    const char* caption;
    const char* traceName; // in "click: NAME" and "NAME: on"; empty where no line names it
};

// Launch and Exit stand on the launchpad itself, the tree and the box on its page window.
inline constexpr LaunchpadControl LAUNCH_BUTTON{IDC_LAUNCH, LAUNCH_CAPTION, "launch"};
inline constexpr LaunchpadControl EXIT_BUTTON{IDC_EXIT, EXIT_CAPTION, "exit"};
inline constexpr LaunchpadControl SCENARIO_TREE{IDC_SCENARIO_TREE, "", ""};
inline constexpr LaunchpadControl START_PAUSED_BOX{IDC_START_PAUSED, START_PAUSED_CAPTION,
                                                   "start-paused"};
// Whether ID is one of the four controls above: the only ones a host leaves out on request.
constexpr bool IsDrivenControl(int id) {
    return id == LAUNCH_BUTTON.id || id == EXIT_BUTTON.id || id == SCENARIO_TREE.id ||
           id == START_PAUSED_BOX.id;
}

// Other launchpad controls stand between Launch and the page window: fillers 1 to N - 1 when the
// page is Launch's Nth next sibling.
inline constexpr char FILLER_CAPTION[] = "Tab";
constexpr int FillerId(int filler) {
    return 1100 + filler;
}

// The launchpad's windows as a host holds them (HWND, or the simulated desktop's handle); null
// where the layout leaves a control out.
template <typename Handle> struct LaunchpadWindows {
    Handle window = nullptr;
    Handle launchButton = nullptr;
    Handle exitButton = nullptr;
    Handle page = nullptr;
    Handle scenarioTree = nullptr;
    Handle pausedCheck = nullptr;
};

// The launchpad a host builds: Orbiter's own by default, or one with faults.
struct LaunchpadLayout {
    bool hidden = false;                 // the launchpad is not visible
    std::set<int> without;               // control identifiers left out
    int pageOffset = PAGE_SIBLING_STEPS; // the page is this many next siblings after Launch
    bool refuseSelection = false;        // the tree vetoes every selection
    bool emptyTree = false;              // the tree has no entries at all
    bool foreignWindow = false;          // another process's visible window is enumerated first
    bool otherWindow = false;            // this process's visible window without controls first

    bool Has(const LaunchpadControl& control) const { return without.count(control.id) == 0; }
};

} // namespace model

#endif
