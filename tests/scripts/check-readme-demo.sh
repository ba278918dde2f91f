#!/usr/bin/env bash
# Runs each demo command the README shows (an indented line "bash scripts/demo.sh ..."), as it
# shows it, from the repository's folder. Each must end with status 0 and remove its scratch
# folder. The orbiter-sim trace lines the README shows under the main command, "bash
# scripts/demo.sh", must be the trace lines that command prints, in the same order.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0

# Every trace line begins with one of these words and a colon.
trace='^(module|tree|start-paused|copy|dialog|click|simulation|orbiter|user): '

# The README's block after the main command: its trace lines, without the four blanks in front
# and the annotation (two or more blanks and what follows); lines of annotation alone are left out.
awk -v trace="$trace" '
    state == 0 && $0 == "    bash scripts/demo.sh" { state = 1; next }
    state == 1 && /^    / { state = 2 }
    state == 2 && !/^    / && $0 != "" { exit }
    state == 2 && substr($0, 5) ~ trace { line = substr($0, 5); sub(/  +.*$/, "", line); print line }
' README.md >"$scratch/readme-trace"
if [ ! -s "$scratch/readme-trace" ]; then
    echo "FAIL: README.md shows no trace lines in the block after \"    bash scripts/demo.sh\"."
    echo "      Keep the demo's output there, indented by four blanks, or mend this test."
    exit 1
fi

mapfile -t commands < <(sed -nE 's/^    (bash scripts\/demo\.sh( .*)?)$/\1/p' README.md)
for command in "${commands[@]}"; do
    status=0
    bash -c "$command" >"$scratch/out" 2>"$scratch/err" || status=$?
    if [ $status -ne 0 ]; then
        echo "FAIL: \`$command\` ended with status $status, not 0. Its output:"
        cat "$scratch/out" "$scratch/err"
        failed=1
        continue
    fi
    folder=$(sed -nE 's/^== Running orbiter-sim in (.+) \(removed at the end\)$/\1/p' "$scratch/out")
    if [ -z "$folder" ] || [ -e "$folder" ]; then
        echo "FAIL: \`$command\` left its scratch folder (${folder:-not named}) behind."
        failed=1
    fi
    if [ "$command" = "bash scripts/demo.sh" ]; then
        grep -E "$trace" "$scratch/out" >"$scratch/printed-trace" || true
        if ! diff -u --label "README.md" --label "printed by \`$command\`" \
            "$scratch/readme-trace" "$scratch/printed-trace"; then
            echo "FAIL: the trace lines the README shows differ from those printed (above)."
            failed=1
        fi
    fi
done
[ $failed -eq 0 ] && echo "ok: ${#commands[@]} demo commands of the README end with 0 and print its trace"
exit $failed
