#!/usr/bin/env bash
# Builds the libFuzzer targets in build/fuzz with clang, replays every input that ever made
# one fail (fuzz/regressions/<target>/), then fuzzes each target from the committed seeds
# (fuzz/corpus/<target>/, only read). A new failing input is moved to
# build/fuzz/new-failures/<target>/, and the run says where: the tracked tree stays as committed.
# Copy it into fuzz/regressions/<target>/ and commit it with its fix.
#
#     scripts/fuzz.sh [SECONDS]          # each target for SECONDS on one core, the targets
#                                        # side by side; default $SKARVEL_FUZZ_SECONDS or 30
#                                        # (the test command)
#     scripts/fuzz.sh --campaign [RUNS] [--record]
#                                        # each target until it has made RUNS executions
#                                        # (default $SKARVEL_CAMPAIGN_RUNS or 10000000) on
#                                        # every core, growing the corpus kept in
#                                        # build/fuzz/campaign/<target>/corpus (not committed),
#                                        # then writes the figures to
#                                        # build/fuzz/campaign/fuzzing.md; with --record, to
#                                        # the committed docs/fuzzing.md as well
#
# Scratch files (the request target's Orbiter folder, libFuzzer's fork folders) go to a
# folder of their own on /dev/shm when it is writable, removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-packages.sh cmake ninja-build clang libclang-rt-14-dev

mode=bounded
record=false
if [ "${1:-}" = --campaign ]; then
    mode=campaign
    shift
    [ "${!#:-}" != --record ] || { record=true && set -- "${@:1:$#-1}"; }
    runs=${1:-${SKARVEL_CAMPAIGN_RUNS:-10000000}}
    if ! [[ $runs =~ ^[0-9]+$ ]] || [ "$runs" -lt 1 ]; then
        echo "error: the campaign's goal must be a whole number of executions, not '$runs'" >&2
        exit 2
    fi
else
    seconds=${1:-${SKARVEL_FUZZ_SECONDS:-30}}
    if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
        echo "error: the fuzzing time must be a whole number of seconds, not '$seconds'" \
            "(or --campaign [RUNS])" >&2
        exit 2
    fi
fi
targets=(tokenizer_fuzz request_fuzz)
build=$root/build/fuzz
# Longer than the module's 4,096-byte work buffer, so lines of 4,097 bytes and more are tried.
max_len=8192
# Lines of thousands of tokens cost milliseconds a run (each token is allocated twice, and
# AddressSanitizer checks every allocation), short ones microseconds; libFuzzer then mutates
# the slow inputs less often (down to a tenth), as AFL does, rather than spend most of its
# time on them. Every input is still run and checked in full.
options=("-max_len=$max_len" -timeout=10 -entropic_scale_per_exec_time=1)

echo "== Building the fuzz targets with clang in build/fuzz"
cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j2 >"$build/build.log" 2>&1 || {
    cat "$build/build.log" >&2
    echo "error: building the fuzz targets failed (output above)" >&2
    exit 1
}

# AddressSanitizer and UndefinedBehaviorSanitizer stop at the first fault; leaks count too.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# The request target writes a file and renames it on most runs; on tmpfs that costs no disk.
scratch_parent=/dev/shm
[ -d "$scratch_parent" ] && [ -w "$scratch_parent" ] || scratch_parent=${TMPDIR:-/tmp}
TMPDIR=$(mktemp -d "$scratch_parent/skarvel-fuzz-XXXXXX")
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT

# Moves the failing inputs libFuzzer wrote into `artifacts` to build/fuzz/new-failures/<name>/,
# out of the tracked tree, and names each in `record` when one is given.
keep_failures() {
    local name=$1 target=$2 artifacts=$3 record=${4:-/dev/null} artifact kept=$build/new-failures/$1
    for artifact in "$artifacts"/*; do
        [ -f "$artifact" ] || continue
        mkdir -p "$kept" && mv "$artifact" "$kept/" && basename "$artifact" >>"$record"
        echo "!! kept the failing input as $kept/$(basename "$artifact") (replay: $build/$target" \
            "$kept/$(basename "$artifact")); copy it into fuzz/regressions/$name/ and commit it with the fix"
    done
}

# One core for `seconds`, the targets side by side: the test command's run. fuzz_bounded starts
# a target; bounded_result waits for it and reads its log.
fuzz_bounded() {
    local name=$1 target=$2 work=$build/work/$1
    mkdir -p "$work/corpus" "$work/artifacts"
    echo "== $target: fuzzing for $seconds s (seeds: fuzz/corpus/$name, max_len $max_len)"
    # The first corpus folder collects new inputs between runs; the seeds are only read.
    "$build/$target" -max_total_time="$seconds" "${options[@]}" -print_final_stats=1 \
        -artifact_prefix="$work/artifacts/" "$work/corpus" "$root/fuzz/corpus/$name" \
        >"$work/fuzz.log" 2>&1 &
    running+=("$name $target $!")
}

bounded_result() {
    local name=$1 target=$2 pid=$3 log=$build/work/$1/fuzz.log status=0 executions
    wait "$pid" || status=$?
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    grep '^stat::' "$log" | sed "s/^/   $target /" || true
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$log"
        keep_failures "$name" "$target" "$build/work/$name/artifacts"
        echo "!! $target failed with status $status (log: $log)"
        failed+=("$target")
    fi
    summary+=("$target: ${executions:-?} executions in $seconds s, $(
        [ "$status" -eq 0 ] && echo ok || echo FAILED)")
}

# Every core until `runs` executions, in libFuzzer's fork mode: it runs jobs of growing
# length on subsets of the corpus and merges what each found into the campaign corpus.
fuzz_campaign() {
    local name=$1 target=$2 campaign=$build/campaign/$1 jobs
    jobs=$(nproc)
    mkdir -p "$campaign/corpus" "$campaign/artifacts"
    rm -f "$campaign/artifacts"/* "$campaign/coverage.log" "$campaign/failures.txt"
    local command=("$build/$target" -fork="$jobs" -runs="$runs" "${options[@]}"
        -artifact_prefix="$campaign/artifacts/" "$campaign/corpus" "$root/fuzz/corpus/$name")
    echo "== $target: fuzzing until $runs executions on $jobs cores" \
        "(corpus: build/fuzz/campaign/$name/corpus, log: build/fuzz/campaign/$name/fuzz.log)"
    echo "   one line per finished job: executions so far, coverage, corpus, the job's rate"
    local start end status=0
    start=$EPOCHREALTIME
    "${command[@]}" 2>&1 | tee "$campaign/fuzz.log" |
        grep --line-buffered -E '^#[0-9]+:' | sed -u 's/^/   /' || status=${PIPESTATUS[0]}
    end=$EPOCHREALTIME
    {
        echo "goal=$runs"
        echo "jobs=$jobs"
        echo "seconds=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", e - s }')"
        echo "status=$status"
        echo "command=$(printf '%s ' "${command[@]}" | sed "s#$root/##g; s/ \$//")"
        echo "environment=ASAN_OPTIONS=$ASAN_OPTIONS UBSAN_OPTIONS=$UBSAN_OPTIONS"
    } >"$campaign/campaign.txt"
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$campaign/fuzz.log"
        echo "!! $target failed with status $status (log: $campaign/fuzz.log)"
        failed+=("$target")
    fi
    echo "== $target: loading the grown corpus and the seeds once, for its coverage"
    "$build/$target" -runs=0 -max_len=$max_len -artifact_prefix="$campaign/artifacts/" \
        "$campaign/corpus" "$root/fuzz/corpus/$name" >"$campaign/coverage.log" 2>&1 || {
        tail -n 20 "$campaign/coverage.log"
        echo "!! $target: an input of the corpus fails when replayed (log: $campaign/coverage.log)"
        failed+=("$target corpus replay")
    }
    local executions
    executions=$(sed -nE 's/^#([0-9]+): cov:.*/\1/p' "$campaign/fuzz.log" | tail -n 1)
    summary+=("$target: ${executions:-?} executions in $(sed -n 's/^seconds=//p' \
        "$campaign/campaign.txt") s on $jobs cores, $([ "$status" -eq 0 ] && echo ok || echo FAILED)")
    keep_failures "$name" "$target" "$campaign/artifacts" "$campaign/failures.txt"
}

failed=()
summary=()
for target in "${targets[@]}"; do
    name=${target%_fuzz}
    regressions=$root/fuzz/regressions/$name
    mkdir -p "$build/work/$name"

    mapfile -t kept < <(find "$regressions" -type f ! -name '.*' | sort)
    echo
    echo "== $target: replaying ${#kept[@]} kept regression input(s) from fuzz/regressions/$name"
    if [ ${#kept[@]} -gt 0 ]; then
        replay=$build/work/$name/replay.log
        if ! "$build/$target" -max_len=$max_len "${kept[@]}" >"$replay" 2>&1; then
            tail -n 40 "$replay"
            echo "!! $target: a kept regression input fails again (log: $replay)"
            failed+=("$target regression replay")
        else
            echo "ok: every kept input passes"
        fi
    fi
    "fuzz_$mode" "$name" "$target"
done
for entry in "${running[@]}"; do bounded_result $entry; done # name, target, process id

if [ "$mode" = campaign ]; then
    echo
    echo "== Writing build/fuzz/campaign/fuzzing.md from the logs in build/fuzz/campaign"
    fuzz/campaign_report.sh "$build/campaign" "${targets[@]}" >"$build/campaign/fuzzing.md"
    ! $record || { cp "$build/campaign/fuzzing.md" docs/fuzzing.md && echo "== Recorded it in docs/fuzzing.md"; }
fi

echo
echo "== Fuzzing summary"
printf '   %s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "FUZZING FAILED: ${failed[*]}. Each failure printed its input's file and log above."
    exit 1
fi
echo "Fuzzing passed: no crash, leak or broken property."
