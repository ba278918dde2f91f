#!/usr/bin/env bash
# Builds everything and runs every test: the Linux build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, both fuzz targets for a bounded time
# (SKARVEL_FUZZ_SECONDS, 30 by default), the unit tests under valgrind, and the Windows
# DLLs with their tests under Wine. Ends with one line that sums up every test and check:
# "Total: N passed, M failed, K skipped", after naming each skipped test and why.
#
# Where this machine runs no 32-bit programs, the i686 DLL's tests under Wine are skipped and
# its static checks still run; SKARVEL_SKIP_I686_WINE=1 takes that path on any machine.
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

# Runs one step. A step that runs ctest is counted by its tests; any other by itself.
step() {
    local name=$1
    shift
    steps=$((steps + 1))
    local log="$logs/step-$steps.log"
    echo
    echo "== $name"
    local status=0
    "$@" 2>&1 | tee "$log" || status=$?
    local summary
    # ctest's closing line, "100% tests passed, 0 tests failed out of 106", counts a skipped
    # test as passed; the skipped ones are listed after "The following tests did not run:".
    summary=$(sed -nE 's/^[0-9]+% tests passed, ([0-9]+) tests failed out of ([0-9]+)$/\1 \2/p' "$log")
    if [ -n "$summary" ]; then
        local not_run
        not_run=$(sed -n '/^The following tests did not run:/,/^$/p' "$log" |
            sed -nE 's/^\s*[0-9]+ - (.+) \((Skipped|Disabled)\)$/\1/p')
        # ctest's opening line names the build folder: "Test project /.../build/mingw-i686".
        local build
        build=$(sed -nE 's|^Test project .*/([^/]+)$|\1|p' "$log" | head -n 1)
        while read -r bad all; do
            passed=$((passed + all - bad))
            failed=$((failed + bad))
        done <<<"$summary"
        while read -r test; do
            [ -n "$test" ] || continue
            passed=$((passed - 1))
            skipped=$((skipped + 1))
            local reason
            reason=$(awk -v prefix="skipped: $test: " \
                'index($0, prefix) == 1 {print substr($0, length(prefix) + 1); exit}' "$log")
            skipped_tests+=("$build $test: ${reason:-no reason given}")
        done <<<"$not_run"
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

# Configures, builds and tests one preset; then names each skipped test with the reason it
# printed ("SKIP: ...", kept in ctest's log).
build_and_test() {
    local preset=$1
    echo "-- configuring and building preset $preset"
    cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" >/dev/null || return
    local status=0
    ctest --preset "$preset" --no-tests=error || status=$?
    awk '/^[0-9]+\/[0-9]+ Test: / {test = $3} /^SKIP: / {sub(/^SKIP: /, ""); print "skipped: " test ": " $0}' \
        "build/$preset/Testing/Temporary/LastTest.log"
    return $status
}

step "Formatting (clang-format)" scripts/check-format.sh
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
