// The start-up sequence in the simulated host, from InitModule until the launch click is
// queued, timed against a bare copy of the same scenario file in alternating pairs.
#pragma once

#include "pair_summary.h"

#include <vector>

// Writes scenarios of 1 KiB, 1 MiB and 64 MiB into `folder`/Scenarios, which must hold a
// "(Current state).scn", and times start-up and copy in pairs for each, with `folder` as the
// current directory. On a failed run, says what went wrong on the standard error and returns
// an empty list.
std::vector<PairSummary> RunStartUpPairs(const std::string& folder);
