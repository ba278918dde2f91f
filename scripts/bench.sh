#!/usr/bin/env bash
# Builds the benchmarks optimised in build/bench, runs them once, and writes their tables,
# with this machine's description and the command, to docs/benchmarks.md. Not part of
# scripts/test.sh: timings depend on the machine and on what else runs on it.
#
#     scripts/bench.sh [Google Benchmark options]    # e.g. --benchmark_filter=Split
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
scripts/install-packages.sh "${BUILD_PACKAGES[@]}" libbenchmark-dev

echo "== Building the benchmarks in build/bench (Release)"
cmake -S bench -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
if ! cmake --build build/bench -j2 >build/bench/build.log 2>&1; then
    tail -n 40 build/bench/build.log >&2
    echo "error: building the benchmarks failed (log: build/bench/build.log)" >&2
    exit 1
fi

# Five repetitions of each; the tables use the medians.
options=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true
    --benchmark_min_time=0.2 "$@")
echo "== Running the benchmarks (about two minutes; the start-up runs write files of up to 64 MiB)"
tables=build/bench/tables.md
build/bench/skarvel_bench --tables "$tables" "${options[@]}"

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
{
    echo "# Benchmarks"
    echo
    echo "Written by \`scripts/bench.sh\` on $(date -u +%Y-%m-%d) from commit" \
        "\`$(git rev-parse --short HEAD 2>/dev/null || echo unknown)\`."
    echo "Machine: $(nproc) cores, ${cpu:-unknown CPU}, $(uname -sr)."
    echo
    echo "    scripts/bench.sh"
    echo "    # which runs: build/bench/skarvel_bench ${options[*]}"
    echo
    echo "Each figure is the median of five repetitions, in real time."
    echo
    echo "The tokenizer is timed with the copy of the line into its work buffer, and so is the"
    echo "scan: a loop over the same bytes that counts blanks, tabs and quotes, the least any"
    echo "tokenizer must do. Time per byte that stays flat as lines grow shows a linear cost."
    echo "The start-up runs InitModule in the simulated host until the launch click is queued:"
    echo "it locates the launchpad, splits the line, copies the scenario over"
    echo "\`Scenarios\\(Current state).scn\` and opens the launch trigger. The bare copy is"
    echo "\`platform::CopyFileA\` on the same file through the same simulated back end"
    echo "(a temporary file and a rename). The simulated host's own work, such as reading the"
    echo "dialog template from the program file, counts as start-up time."
    cat "$tables"
    echo
    echo "Reading the figures: with many tokens the split allocates a string and a list node"
    echo "per token, so its cost per byte is higher than with few and follows the allocator"
    echo "rather than the line's length: it does not grow with it (no step is quadratic; each"
    echo "byte is looked at once and each token copied once). For the larger scenarios the copy is nearly all of the start-up; a figure"
    echo "beyond the copy that is small or negative lies within the run-to-run variation of the"
    echo "file system (the console output gives each benchmark's coefficient of variation, cv)."
} >docs/benchmarks.md
echo "== Wrote docs/benchmarks.md"
