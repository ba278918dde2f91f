#!/usr/bin/env bash
# Runs the unit tests under valgrind's memcheck: no invalid access, no use of uninitialised
# bytes, no definite or indirect leak. Builds them first in build/valgrind, a plain debug
# build without sanitizers (valgrind and AddressSanitizer cannot share a process).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/valgrind
source scripts/packages.sh
scripts/install-packages.sh "${BUILD_PACKAGES[@]}" valgrind

echo "== Building the unit tests in $build (debug, no sanitizers)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
if ! cmake --build "$build" -j2 --target unit_tests >"$build/build.log" 2>&1; then
    tail -n 40 "$build/build.log" >&2
    echo "error: building the unit tests for valgrind failed (log: $build/build.log)" >&2
    exit 1
fi

# Death tests fork a child that ends the process through exit(). Valgrind follows a fork
# without an exec by itself, so the child is checked too: a fault in it turns its exit status
# into 99 and fails its death test (which expects the module's own status), so it still fails
# this run. --child-silent-after-fork keeps the child's report out of the summary below,
# which is the parent's: the child exits mid-test, so its still-reachable blocks mean nothing.
log=$build/memcheck.log
echo "== Running the unit tests under valgrind memcheck (memcheck is some 50 times slower than a plain run)"
status=0
valgrind --tool=memcheck --leak-check=full --errors-for-leak-kinds=definite,indirect \
    --show-leak-kinds=definite,indirect --error-exitcode=99 --track-origins=yes \
    --child-silent-after-fork=yes --log-file="$log" \
    "$build/tests/unit_tests" >"$build/unit_tests.log" 2>&1 || status=$?

echo "== valgrind's summary"
sed -n '/HEAP SUMMARY/,$p' "$log" | sed 's/^==[0-9]*== \{0,1\}/   /'
tail -n 3 "$build/unit_tests.log" | sed 's/^/   /'
if [ "$status" -eq 99 ]; then
    echo "VALGRIND FAILED: memcheck found errors or leaks; the full report is $log."
    exit 1
elif [ "$status" -ne 0 ]; then
    tail -n 40 "$build/unit_tests.log"
    echo "VALGRIND FAILED: the unit tests failed under valgrind (status $status);" \
        "see $build/unit_tests.log and $log."
    exit 1
fi
echo "Valgrind passed: no memory error and no definite or indirect leak in the unit tests."
