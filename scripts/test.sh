#!/usr/bin/env bash
# Builds everything and runs every test: the Linux build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, both fuzz targets for a bounded time
# (SKARVEL_FUZZ_SECONDS, 30 by default), the unit tests under valgrind, and the Windows
# DLLs with their tests under Wine. Ends with one line that sums up every test and check:
# "Total: N passed, M failed, K skipped", after naming each skipped test and why.
#
# Where this machine runs no 32-bit programs (scripts/runs-32-bit.sh says), the i686 DLL's tests
# under Wine are skipped and its static checks still run; SKARVEL_NO_32_BIT=1 takes that path on
# any machine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
scripts/install-packages.sh "${TEST_PACKAGES[@]}"

logs=$(mktemp -d /tmp/skarvel-test-XXXXXX)
failed_steps=()
skipped_tests=()
passed=0
failed=0
skipped=0
steps=0

# Runs one step. A step that runs ctest is counted by its tests, as ctest's JUnit report gives
# them; any other by itself.
step() {
    local name=$1
    shift
    steps=$((steps + 1))
    local log="$logs/step-$steps.log"
    junit="$logs/step-$steps.xml" # where build_and_test has ctest write its report
    echo
    echo "== $name"
    local status=0 started=$SECONDS
    "$@" 2>&1 | tee "$log" || status=$?
    echo "-- $name: $((SECONDS - started)) s"
    if [ -s "$junit" ]; then
        local kind rest
        while read -r kind rest; do
            case $kind in
            counts)
                local pass fail skip
                read -r pass fail skip <<<"$rest"
                passed=$((passed + pass))
                failed=$((failed + fail))
                skipped=$((skipped + skip))
                ;;
            skip) skipped_tests+=("${2:-$name} $rest") ;;
            esac
        done < <(junit_summary "$junit")
    elif [ $status -eq 0 ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
    if [ $status -ne 0 ]; then
        failed_steps+=("$name")
        echo "!! $name failed (exit status $status)"
    fi
}

# Reads ctest's JUnit report: a line "skip TEST: REASON" for each test that did not run, the
# reason being the "SKIP: ..." line the test printed; then "counts PASSED FAILED SKIPPED". A test
# that did not run without being skipped (its program missing, say) counts as failed, as ctest
# counts it.
junit_summary() {
    python3 - "$1" <<'PYTHON'
import sys
import xml.etree.ElementTree as ET

passed = failed = skipped = 0
for case in ET.parse(sys.argv[1]).getroot().iter("testcase"):
    status = case.get("status")
    if status == "run":
        passed += 1
    elif status == "disabled" or (status == "notrun" and case.find("skipped") is not None):
        skipped += 1
        output = case.findtext("system-out") or ""
        reasons = [line[len("SKIP: "):] for line in output.splitlines() if line.startswith("SKIP: ")]
        print("skip %s: %s" % (case.get("name"), reasons[0] if reasons else "no reason given"))
    else:
        failed += 1
print("counts", passed, failed, skipped)
PYTHON
}

# Configures, builds and tests one preset, with ctest's report written to $junit.
build_and_test() {
    local preset=$1
    echo "-- configuring and building preset $preset"
    cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" >/dev/null || return
    # Two at a time: the Wine tests spend much of their time waiting on Wine, and those that share
    # a Wine prefix take turns on it.
    ctest --preset "$preset" --parallel 2 --no-tests=error --output-junit "$junit"
}

step "Formatting (clang-format, black)" scripts/check-format.sh
step "Linux build and tests (preset native)" build_and_test native
step "Sanitizer build and tests (preset sanitize: ASan + UBSan)" build_and_test sanitize
step "Fuzzing (libFuzzer, ${SKARVEL_FUZZ_SECONDS:-30} s per target, after the kept failures)" scripts/fuzz.sh
step "Unit tests under valgrind memcheck" scripts/valgrind.sh
# The Windows presets also run their tests under Wine: the end-to-end table against the
# Win32 test host, the locator against real windows, and the usage dialog as it is shown.
# The end-to-end runner comes from the native build, so that step goes first.
step "Windows DLL, 32-bit, and its tests under Wine (preset mingw-i686)" build_and_test mingw-i686
step "Windows DLL, 64-bit, and its tests under Wine (preset mingw-x64)" build_and_test mingw-x64

echo
if [ ${#skipped_tests[@]} -gt 0 ]; then
    echo "Skipped (not run, and not counted as passed):"
    printf '  %s\n' "${skipped_tests[@]}"
fi
if [ ${#failed_steps[@]} -gt 0 ]; then
    echo "Failed steps: ${failed_steps[*]}"
    echo "Each failing step printed its own output above; fix the first one first."
fi
echo "Total: $passed passed, $failed failed, $skipped skipped"
[ ${#failed_steps[@]} -eq 0 ]
