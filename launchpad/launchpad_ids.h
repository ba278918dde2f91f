// Orbiter's launchpad controls that the module drives, and how it finds them.
#pragma once

#include "launchpad/control_ids.h"

#include <cstdint>

// The page window is this many next siblings after the launch button.
constexpr int PAGE_SIBLING_STEPS = 5;

// The application-defined bit of a Windows error code: the last-error value that
// marks an enumeration stopped because the launchpad was found.
constexpr std::uint32_t FOUND_SENTINEL = 0x20000000;
