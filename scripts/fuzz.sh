#!/usr/bin/env bash
# Builds the libFuzzer targets in build/fuzz with clang, replays every input that ever made
# one fail (fuzz/regressions/<target>/), then fuzzes each target for a bounded time from the
# committed seeds (fuzz/corpus/<target>/). A new failing input is copied into
# fuzz/regressions/<target>/, to be committed with its fix.
#
#     scripts/fuzz.sh [SECONDS]      # seconds per target; default $SKARVEL_FUZZ_SECONDS or 30
#
# Scratch files (the request target's Orbiter folder) go to a folder of their own on
# /dev/shm when it is writable, removed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/install-packages.sh cmake ninja-build clang libclang-rt-14-dev
seconds=${1:-${SKARVEL_FUZZ_SECONDS:-30}}
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
    echo "error: the fuzzing time must be a whole number of seconds, not '$seconds'" >&2
    exit 2
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

failed=()
summary=()
for target in "${targets[@]}"; do
    name=${target%_fuzz}
    seeds=$root/fuzz/corpus/$name
    regressions=$root/fuzz/regressions/$name
    work=$build/work/$name
    mkdir -p "$work/corpus" "$work/artifacts" "$regressions"

    mapfile -t kept < <(find "$regressions" -type f ! -name '.*' | sort)
    echo
    echo "== $target: replaying ${#kept[@]} kept regression input(s) from fuzz/regressions/$name"
    if [ ${#kept[@]} -gt 0 ]; then
        if ! "$build/$target" -max_len=$max_len "${kept[@]}" >"$work/replay.log" 2>&1; then
            tail -n 40 "$work/replay.log"
            echo "!! $target: a kept regression input fails again (log: $work/replay.log)"
            failed+=("$target regression replay")
        else
            echo "ok: every kept input passes"
        fi
    fi

    echo "== $target: fuzzing for $seconds s (seeds: fuzz/corpus/$name, max_len $max_len)"
    log=$work/fuzz.log
    status=0
    # The first corpus folder collects new inputs between runs; the seeds are only read.
    "$build/$target" -max_total_time="$seconds" "${options[@]}" -print_final_stats=1 \
        -artifact_prefix="$work/artifacts/" "$work/corpus" "$seeds" >"$log" 2>&1 || status=$?
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    grep '^stat::' "$log" | sed 's/^/   /' || true
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$log"
        for artifact in "$work"/artifacts/*; do
            [ -f "$artifact" ] || continue
            cp "$artifact" "$regressions/"
            echo "!! kept the failing input as fuzz/regressions/$name/$(basename "$artifact");" \
                "commit it with the fix (replay: $build/$target $regressions/$(basename "$artifact"))"
            rm "$artifact"
        done
        echo "!! $target failed with status $status (log: $log)"
        failed+=("$target")
    fi
    summary+=("$target: ${executions:-?} executions in $seconds s (${rate:-?}/s), $(
        [ "$status" -eq 0 ] && echo ok || echo FAILED)")
done

echo
echo "== Fuzzing summary"
printf '   %s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "FUZZING FAILED: ${failed[*]}. Each failure printed its input's file and log above."
    exit 1
fi
echo "Fuzzing passed: no crash, leak or broken property."
