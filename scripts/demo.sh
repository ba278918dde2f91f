#!/usr/bin/env bash
# Builds orbiter-sim and the module, installs the module in Modules/Plugin of a scratch copy of
# the sample Orbiter folder (whose Orbiter.cfg ticks it), and runs orbiter-sim there, so that
# nothing tracked changes. Extra arguments replace the demo's command line:
# scripts/demo.sh -- -e Nowhere
# Ends with orbiter-sim's exit status; the scratch folder is removed at every end.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
scripts/install-packages.sh "${BUILD_PACKAGES[@]}"

echo "== Building (preset native)"
cmake --preset native >/dev/null
cmake --build --preset native --target orbiter-sim Skarvel >/dev/null

scratch=$(mktemp -d /tmp/skarvel-demo-XXXXXX)
# Bash runs this also when a signal (HUP, INT, TERM) ends the script.
trap 'rm -rf "$scratch"' EXIT
cp -r sample/Orbiter/. "$scratch"
mkdir -p "$scratch/Modules/Plugin"
cp build/native/Skarvel.so "$scratch/Modules/Plugin/"
echo "== Running orbiter-sim in $scratch (removed at the end)"
[ $# -gt 0 ] || set -- -- -p -e 'Scenarios\Demo Flight'
status=0
build/native/orbiter-sim --root "$scratch" "$@" | tee "$scratch/trace.txt" || status=$?
echo "== orbiter-sim ended with status $status"

# The scenario the simulation read, found by the cksum its start line gives; Orbiter has since
# saved its final state over the staged file.
staged_name="Scenarios/(Current state).scn"
staged=$scratch/$staged_name
read_cksum=$(sed -n 's/^simulation: start .*; read cksum //p' "$scratch/trace.txt" | head -n 1)
if [ -z "$read_cksum" ]; then
    echo "== No simulation ran; Scenarios/(Current state).scn now reads:"
    sed 's/^/   /' "$staged"
    exit "$status"
fi
read_file=
while IFS= read -r -d '' scenario; do
    if [ "$(cksum <"$scenario")" = "$read_cksum" ]; then
        read_file=$scenario
        break
    fi
done < <(find "$scratch/Scenarios" -name '*.scn' ! -name '(Current state).scn' -print0 | sort -z)
if [ -n "$read_file" ]; then
    echo "== The simulation read ${read_file#"$scratch"/} (cksum $read_cksum), staged as"
    echo "   Scenarios/(Current state).scn:"
elif [ "$(cksum <"sample/Orbiter/$staged_name")" = "$read_cksum" ]; then
    # The command line named the staging file itself, which the module left as it stood.
    read_file=sample/Orbiter/$staged_name
    echo "== The simulation read $staged_name as it stood before the run (cksum $read_cksum):"
else
    echo "== The simulation read a scenario (cksum $read_cksum) that is no file under Scenarios/"
    exit "$status"
fi
sed 's/^/   /' "$read_file"
echo "== When the session ended, Orbiter saved its final state there, adding:"
# The two files differ, so diff ends with 1; only its 2, trouble, ends the demo here.
{ diff "$read_file" "$staged" || [ $? -eq 1 ]; } | sed -n 's/^> /   /p'
exit "$status"
