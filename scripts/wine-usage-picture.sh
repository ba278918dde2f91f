#!/usr/bin/env bash
# Builds the DLL and the Win32 test host, opens the usage dialog under Wine and saves its
# picture as build/usage-dialog.png; with --record, as the committed docs/usage-dialog.png too.
# It uses the 32-bit build, which Orbiter loads; where this machine runs no 32-bit programs,
# the 64-bit build, whose dialog templates are the same.
#
#     scripts/wine-usage-picture.sh [--record]
set -euo pipefail
cd "$(dirname "$0")/.."
record=false
case ${1:-} in
--record) record=true ;;
"") ;;
*)
    echo "error: unknown option '$1'; usage: scripts/wine-usage-picture.sh [--record]" >&2
    exit 2
    ;;
esac
arch=i686
preset=mingw-i686
if ! tests/wine/with-wine.sh i686 build/mingw-i686/wineprefix true >/dev/null 2>&1; then
    echo "== Wine cannot run the 32-bit build here; the picture comes from the 64-bit build"
    arch=x64
    preset=mingw-x64
fi
echo "== Building the DLL and the Win32 test host (preset $preset)"
cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" >/dev/null
tests/wine/with-wine.sh "$arch" "build/$preset/wineprefix" \
    tests/wine/check-usage-dialog.sh "build/$preset/tests/win32-host/orbiter.exe" \
    "build/$preset/Skarvel.dll" build/usage-dialog.png
echo "== Wrote build/usage-dialog.png"
if $record; then
    cp build/usage-dialog.png docs/usage-dialog.png
    echo "== Recorded it in docs/usage-dialog.png"
fi
