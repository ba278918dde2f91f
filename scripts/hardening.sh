#!/usr/bin/env bash
# The hardening checks, as steps of scripts/test.sh or on their own: both fuzz targets for a
# bounded time after replaying their kept failing inputs (scripts/fuzz.sh), and the unit
# tests under valgrind memcheck (scripts/valgrind.sh). Each builds what it needs in its own
# folder (build/fuzz, build/valgrind), so this works on a fresh clone.
#
#     scripts/hardening.sh [fuzz|valgrind]...   # default: both
#     SKARVEL_FUZZ_SECONDS=300 scripts/hardening.sh fuzz   # longer fuzzing (default 30 s each)
set -uo pipefail
cd "$(dirname "$0")/.."

checks=("$@")
[ ${#checks[@]} -eq 0 ] && checks=(fuzz valgrind)
failed=()
for check in "${checks[@]}"; do
    case $check in
    fuzz) script=scripts/fuzz.sh ;;
    valgrind) script=scripts/valgrind.sh ;;
    *)
        echo "error: unknown check '$check'; the checks are: fuzz, valgrind" >&2
        exit 2
        ;;
    esac
    echo "== Hardening: $check ($script)"
    bash "$script" || failed+=("$check")
done

echo
if [ ${#failed[@]} -gt 0 ]; then
    echo "HARDENING FAILED: ${failed[*]}. Each printed its reason and its log above."
    exit 1
fi
echo "Hardening passed: ${checks[*]}."
