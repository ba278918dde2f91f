// Runs the benchmarks in a scratch Orbiter folder: the tokenizer through Google Benchmark,
// then the start-up against a bare copy in pairs. Prints one line per scenario size for the
// pairs and, after Google Benchmark's own report, Markdown tables of both.
//
//     skarvel_bench [--startup] [--tables FILE] [Google Benchmark options]
//
// --startup times only the pairs and prints only their lines. --benchmark_filter=REGEX picks
// among the tokenizer benchmarks and leaves the pairs out, as they are no Google Benchmark
// benchmarks. --tables FILE writes the tables to FILE too (scripts/bench.sh puts them in its
// report).
#include "bench_registry.h"
#include "ratio_reporter.h"
#include "startup_pairs.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    std::string tablesFile;
    bool startUpOnly = false;
    bool filtered = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--tables") == 0 && i + 1 < argc) {
            tablesFile = argv[++i];
        } else if (std::strcmp(argv[i], "--startup") == 0) {
            startUpOnly = true;
        } else {
            filtered = filtered || std::strncmp(argv[i], "--benchmark_filter", 18) == 0;
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 2;
    }

    // The scenarios of up to 64 MiB live in a scratch Orbiter folder, removed at the end.
    std::string folder = (fs::temp_directory_path() / "skarvel-bench-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        std::perror("skarvel_bench: cannot make a scratch folder under the temporary folder");
        return 1;
    }
    fs::create_directories(folder + "/Scenarios");
    std::ofstream(folder + "/Scenarios/(Current state).scn") << "BEGIN_DESC\nOld\nEND_DESC\n";
    std::cerr << "skarvel_bench: writing the scenario files in " << folder << '\n';
    const fs::path previous = fs::current_path();
    fs::current_path(folder);

    RatioReporter reporter;
    if (!startUpOnly) {
        RegisterTokenizerBenchmarks();
        benchmark::RunSpecifiedBenchmarks(&reporter);
    }
    std::vector<PairSummary> startUp;
    if (!filtered) {
        startUp = RunStartUpPairs(folder);
    }

    fs::current_path(previous);
    fs::remove_all(folder);
    if (!filtered && startUp.empty()) {
        return 1; // the reason is on the standard error
    }
    for (const PairSummary& summary : startUp) {
        std::cout << SummaryLine(summary) << '\n';
    }
    if (startUpOnly) {
        return 0;
    }

    std::ostringstream tables;
    tables << "\nSplitCommandLine beside a plain scan for blanks, tabs and quotes "
              "(both copy the line first):\n\n";
    reporter.PrintTokenizerTable(tables);
    if (!filtered) {
        tables << "\nThe start-up sequence beside a bare copy of the same scenario file, timed in "
                  "alternating pairs:\n\n";
        PrintStartUpTable(startUp, tables);
    }
    std::cout << tables.str();
    if (!tablesFile.empty()) {
        std::ofstream(tablesFile) << tables.str();
    }
    if (!reporter.AllSucceeded()) {
        std::cerr << "skarvel_bench: a benchmark reported an error (see its line above)\n";
        return 1;
    }
    return 0;
}
