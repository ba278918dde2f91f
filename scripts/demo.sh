#!/usr/bin/env bash
# Builds orbiter-sim and the module, installs the module in Modules/Plugin of a scratch copy of
# the sample Orbiter folder (whose Orbiter.cfg ticks it), and runs orbiter-sim there, so that
# nothing tracked changes. Extra arguments replace the demo's command line:
# scripts/demo.sh -- -e Nowhere
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
scripts/install-packages.sh "${BUILD_PACKAGES[@]}"

echo "== Building (preset native)"
cmake --preset native >/dev/null
cmake --build --preset native --target orbiter-sim Skarvel >/dev/null

scratch=$(mktemp -d /tmp/skarvel-demo-XXXXXX)
cp -r sample/Orbiter/. "$scratch"
mkdir -p "$scratch/Modules/Plugin"
cp build/native/Skarvel.so "$scratch/Modules/Plugin/"
echo "== Running orbiter-sim in $scratch"
status=0
if [ $# -gt 0 ]; then
    build/native/orbiter-sim --root "$scratch" "$@" || status=$?
else
    build/native/orbiter-sim --root "$scratch" -- -p -e 'Scenarios\Demo Flight' || status=$?
fi
echo "== orbiter-sim ended with status $status"
echo "== Scenarios/(Current state).scn in $scratch now reads:"
sed 's/^/   /' "$scratch/Scenarios/(Current state).scn"
