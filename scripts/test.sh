#!/usr/bin/env bash
# Builds everything and runs every test: the Linux build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the Windows DLL.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
scripts/install-packages.sh "${TEST_PACKAGES[@]}"

failed=()
step() {
    local name=$1
    shift
    echo
    echo "== $name"
    if ! "$@"; then
        failed+=("$name")
        echo "!! $name failed"
    fi
}
build_and_test() {
    local preset=$1
    cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" &&
        ctest --preset "$preset" --no-tests=error
}

step "Formatting (clang-format)" scripts/check-format.sh
step "Linux build and tests (preset native)" build_and_test native
step "Sanitizer build and tests (preset sanitize: ASan + UBSan)" build_and_test sanitize
step "Windows DLL, 32-bit (preset mingw-i686)" build_and_test mingw-i686

echo
if [ ${#failed[@]} -gt 0 ]; then
    echo "FAILED: ${failed[*]}"
    echo "Each failing step printed its own output above; fix the first one first."
    exit 1
fi
echo "All steps passed."
