#!/usr/bin/env bash
# Runs the README's commands where a new user runs them: in a fresh clone of the committed HEAD,
# with no build/ and no dist/. Each indented command line "bash scripts/..." runs there as the
# README shows it and must end with status 0. Besides:
#   - a demo command must remove its scratch folder, and the orbiter-sim trace lines the README
#     shows under the main one, "bash scripts/demo.sh", must be the ones it prints, in order;
#   - the package command must leave dist/Skarvel-<version>.zip and print its sha256.
# Not run here: the test command itself, and commands that need an Orbiter folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0

commit=$(git -C "$root" rev-parse HEAD)
echo "== Cloning commit $commit into $scratch/clone (uncommitted changes are not in it)"
git clone -q --no-checkout "$root" "$scratch/clone"
git -C "$scratch/clone" checkout -q --detach "$commit"
cd "$scratch/clone"

# Every trace line begins with one of these words and a colon.
trace='^(module|tree|start-paused|copy|dialog|click|simulation|orbiter|user): '

# The README's block after the main demo command: its trace lines, without the four blanks in
# front and the annotation (two or more blanks and what follows); lines of annotation alone are
# left out.
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

# Why a command is not run here, or nothing when it is.
not_run_here() {
    case $1 in
    "bash scripts/test.sh"*) echo "the test command itself" ;;
    "bash scripts/try-in-orbiter.sh "[!-]*) echo "it needs an Orbiter folder" ;;
    esac
}

# What a command must have done besides ending with 0; each fault found goes into `problems`.
check_demo() {
    local folder
    folder=$(sed -nE 's/^== Running orbiter-sim in (.+) \(removed at the end\)$/\1/p' "$scratch/out")
    if [ -z "$folder" ] || [ -e "$folder" ]; then
        problems+=("it left its scratch folder (${folder:-not named}) behind")
    fi
    if [ "$1" = "bash scripts/demo.sh" ]; then
        grep -E "$trace" "$scratch/out" >"$scratch/printed-trace" || true
        diff -u --label README.md --label "printed by \`$1\`" \
            "$scratch/readme-trace" "$scratch/printed-trace" >"$scratch/trace-diff" ||
            problems+=("the trace lines the README shows differ from those printed:"
                "$(cat "$scratch/trace-diff")")
    fi
}
check_package() {
    local version zip
    version=$(sed -n 's/^project(Skarvel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
    zip=dist/Skarvel-$version.zip
    if [ ! -f "$zip" ]; then
        problems+=("it left no $zip")
    elif ! grep -qxF "$(sha256sum "$zip")" "$scratch/out"; then
        problems+=("it did not print the sha256 of $zip: $(sha256sum "$zip")")
    fi
}

mapfile -t commands < <(sed -nE 's/^    (bash scripts\/[^ ]+( .*)?)$/\1/p' README.md)
ran=0
for command in "${commands[@]}"; do
    reason=$(not_run_here "$command")
    if [ -n "$reason" ]; then
        echo "-- not run here: \`$command\` ($reason)"
        continue
    fi
    echo "-- running \`$command\`"
    ran=$((ran + 1))
    problems=()
    status=0
    bash -c "$command" >"$scratch/out" 2>&1 </dev/null || status=$?
    [ $status -eq 0 ] || problems+=("it ended with status $status, not 0")
    case $command in
    "bash scripts/demo.sh"*) check_demo "$command" ;;
    "bash scripts/package.sh"*) check_package ;;
    esac
    if [ ${#problems[@]} -gt 0 ]; then
        echo "FAIL: \`$command\`, run in a fresh clone:"
        printf '%s\n' "${problems[@]}" | sed 's/^/      /'
        echo "      Its output:"
        sed 's/^/      /' "$scratch/out"
        failed=1
    fi
done
[ $failed -eq 0 ] && echo "ok: the README's $ran commands end with 0 in a fresh clone and do what it says"
exit $failed
