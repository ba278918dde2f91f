// Runs the benchmarks in a scratch Orbiter folder and prints, after Google Benchmark's own
// report, Markdown tables of each measured routine beside its baseline.
//
//     skarvel_bench [--tables FILE] [Google Benchmark options]
//
// --tables FILE writes the tables to FILE too (scripts/bench.sh puts them in the docs).
#include "bench_registry.h"
#include "ratio_reporter.h"

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
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--tables") == 0 && i + 1 < argc) {
            tablesFile = argv[++i];
        } else {
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

    RegisterTokenizerBenchmarks();
    RegisterStartUpBenchmarks(folder);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    fs::current_path(previous);
    fs::remove_all(folder);

    std::ostringstream tables;
    tables << "\nSplitCommandLine beside a plain scan for blanks, tabs and quotes "
              "(both copy the line first):\n\n";
    reporter.PrintTokenizerTable(tables);
    tables << "\nThe start-up sequence beside a bare copy of the same scenario file:\n\n";
    reporter.PrintStartUpTable(tables);
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
