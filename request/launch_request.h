// Turns Orbiter's command line into options and a scenario path, and stages the scenario
// by copying it over Orbiter's "(Current state)" scenario file.
#pragma once

#include <cstddef>

// The size of each of the two path buffers of the start-up sequence.
constexpr std::size_t PATH_BUFFER_SIZE = 4096;

// Reads the command line into `workBuffer`, splits it, applies the options (e: exit after
// shutdown, p: tick start-paused, x: exit if missing) and leaves the last scenario path in
// `requestBuffer`. Returns false when the line yields no scenario to copy at all: it does not
// fit in the buffer, or memory ran out while splitting it; no option is applied then.
bool ApplyCommandLine(char* workBuffer, char* requestBuffer);

// Resolves the scenario path in `requestBuffer` (long form, ".scn" completion) into
// `workBuffer`, formats the staging destination into `requestBuffer` and copies the scenario
// there. Returns whether the scenario is staged: copied, or the staging file itself, which is
// left as it is. A path that would not fit is never cut short: no copy is attempted and the
// result is false.
bool StageScenario(char* workBuffer, char* requestBuffer);
