// The Google Benchmark groups, registered by name by bench_main.cpp.
#pragma once

// Split/CASE and Scan/CASE for each line.
void RegisterTokenizerBenchmarks();
