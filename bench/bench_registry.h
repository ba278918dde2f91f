// The benchmark groups, registered by name by bench_main.cpp.
#pragma once

#include <string>

// Split/CASE and Scan/CASE for each line.
void RegisterTokenizerBenchmarks();
// StartUp/SIZE and Copy/SIZE for each scenario size, in the Orbiter folder `folder`, which
// must be the current directory while they run.
void RegisterStartUpBenchmarks(const std::string& folder);
