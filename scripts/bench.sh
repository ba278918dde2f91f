#!/usr/bin/env bash
# Builds the benchmarks optimised in build/bench, runs them once, and writes their tables,
# with this machine's description and the command, to build/bench/benchmarks.md; with
# --record, to the committed docs/benchmarks.md as well. Not part of scripts/test.sh: timings
# depend on the machine and on what else runs on it.
#
#     scripts/bench.sh [Google Benchmark options]    # e.g. --benchmark_filter=Split, which
#                                                    # runs only the tokenizer benchmarks
#     scripts/bench.sh --record                      # every benchmark, into the docs too
#     scripts/bench.sh --startup                     # only the start-up/copy pairs
#
# --startup prints one line per scenario size and writes no report. The progress lines go to
# the standard error, so the standard output holds only the results.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
scripts/install-packages.sh "${BUILD_PACKAGES[@]}" libbenchmark-dev >&2

startup_only=false
record=false
case ${1:-} in
--startup)
    startup_only=true
    shift
    ;;
--record)
    record=true
    shift
    if [ $# -gt 0 ]; then
        echo "error: --record takes no other option, so that the docs show a whole run" >&2
        exit 2
    fi
    ;;
esac

echo "== Building the benchmarks in build/bench (Release)" >&2
cmake -S bench -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
if ! cmake --build build/bench -j2 >build/bench/build.log 2>&1; then
    tail -n 40 build/bench/build.log >&2
    echo "error: building the benchmarks failed (log: build/bench/build.log)" >&2
    exit 1
fi

if $startup_only; then
    echo "== Timing the start-up against a bare copy in alternating pairs (about 10 seconds;" \
        "the scenarios are of up to 64 MiB)" >&2
    exec build/bench/skarvel_bench --startup "$@"
fi

# Five repetitions of each tokenizer benchmark; the tables use the medians.
options=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true
    --benchmark_min_time=0.2 "$@")
echo "== Running the benchmarks (about a minute; the start-up pairs write files of up to" \
    "64 MiB)" >&2
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
    echo "    scripts/bench.sh --record"
    echo "    # which runs: build/bench/skarvel_bench ${options[*]}"
    echo
    echo "All times are real (wall-clock) time."
    echo
    echo "The tokenizer is timed with the copy of the line into its work buffer, and so is the"
    echo "scan: a loop over the same bytes that counts blanks, tabs and quotes, the least any"
    echo "tokenizer must do. Time per byte that stays flat as lines grow shows a linear cost."
    echo "Each of its figures is the median of five repetitions."
    echo
    echo "The start-up runs InitModule in the simulated host until the launch click is queued:"
    echo "it locates the launchpad, splits the line, copies the scenario over"
    echo "\`Scenarios\\(Current state).scn\` and opens the launch trigger. The bare copy is"
    echo "\`platform::CopyFileA\` on the same file through the same simulated back end"
    echo "(a temporary file and a rename). The simulated host's own work, such as reading the"
    echo "dialog template from the program file, counts as start-up time."
    echo
    echo "The two are timed in pairs, one right after the other, so that both meet the same"
    echo "state of the machine: the same source file, in the page cache, the same scratch Orbiter"
    echo "folder, and a \`(Current state).scn\` to replace that holds the copy the other one has"
    echo "just made. Before each of them the simulated host is built afresh. The order alternates"
    echo "from pair to pair (copy first, then start-up first), so that what the first leaves to"
    echo "the second falls on both alike; five warm-up pairs per size are not counted. Each pair"
    echo "gives a ratio, start-up / copy, and a difference, start-up - copy; the table gives the"
    echo "median ratio with its quartiles and the median difference (\"beyond the copy\"), beside"
    echo "the median times of each. \`scripts/bench.sh --startup\` runs only these pairs."
    cat "$tables"
    echo
    echo "Reading the figures: with many tokens the split allocates a string and a list node"
    echo "per token, so its cost per byte is higher than with few and follows the allocator"
    echo "rather than the line's length: it does not grow with it (no step is quadratic; each"
    echo "byte is looked at once and each token copied once). For the larger scenarios the copy"
    echo "is nearly all of the start-up. The time beyond the copy grows with the scenario although"
    echo "the work after the copy does not: that work (opening the trigger dialog, which reads its"
    echo "template from the program file) runs with the processor's caches emptied by the copy."
    echo "The quartiles are wide because every copy waits for the disk: replacing"
    echo "\`(Current state).scn\` deletes the old file, which waits for its pages still being"
    echo "written and may discard its blocks. The medians over many pairs stay steady; at 64 MiB"
    echo "the difference is small beside that spread, so it may come out negative."
} >build/bench/benchmarks.md
echo "== Wrote build/bench/benchmarks.md" >&2
if $record; then
    cp build/bench/benchmarks.md docs/benchmarks.md
    echo "== Recorded it in docs/benchmarks.md" >&2
fi
