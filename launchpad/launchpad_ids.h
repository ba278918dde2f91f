// Orbiter's launchpad controls that the module drives, and how it finds them.
#pragma once

#include <cstdint>

constexpr int IDC_LAUNCH = 1000;        // launch button, on the launchpad
constexpr int IDC_EXIT = 1001;          // exit button, on the launchpad
constexpr int IDC_SCENARIO_TREE = 1088; // scenario tree-view, on the page window
constexpr int IDC_START_PAUSED = 1090;  // start-paused check box, on the page window

// The page window is this many next siblings after the launch button.
constexpr int PAGE_SIBLING_STEPS = 5;

// The application-defined bit of a Windows error code: the last-error value that
// marks an enumeration stopped because the launchpad was found.
constexpr std::uint32_t FOUND_SENTINEL = 0x20000000;
