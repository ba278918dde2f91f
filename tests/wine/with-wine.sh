#!/usr/bin/env bash
# Runs a command with Wine ready for it: a private X display (Xvfb), and a Wine prefix made
# once per build folder. Runs sharing the prefix take turns, so that stopping Wine at the end
# of one cannot end another's programs.
#
#   tests/wine/with-wine.sh PREFIX COMMAND [ARG...]
#
# Inside, DISPLAY, WINEPREFIX, WINEDEBUG=-all and WINEDLLOVERRIDES are set. Exits with the
# command's status, or 77 (a skip for ctest) when Wine or Xvfb is not installed.
set -euo pipefail
if [ $# -lt 2 ]; then
    echo "usage: $0 PREFIX COMMAND [ARG...]" >&2
    exit 2
fi
prefix=$(realpath -m "$1") # Wine wants an absolute path
shift

for tool in wine wineserver Xvfb; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed, so the Windows build cannot run here."
        echo "      On Debian 12, as root: bash scripts/install-packages.sh wine wine32:i386 wine64 xvfb xauth"
        exit 77
    fi
done

export WINEPREFIX=$prefix
export WINEDEBUG=-all
# No prompts to install Mono or Gecko, which nothing here needs.
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
if ! flock -w 600 9; then
    echo "error: another run has held the Wine prefix $prefix for 10 minutes; is one stuck?" >&2
    echo "       Stop it (WINEPREFIX=$prefix wineserver -k) and run again." >&2
    exit 1
fi

# A private display: Wine cannot create windows without one.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb=$!
stop() {
    wineserver -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    rm -f "$display_file"
}
trap stop EXIT
for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    if ! kill -0 "$xvfb" 2>/dev/null; then
        echo "error: Xvfb did not start; run 'Xvfb -displayfd 1' by hand to see why." >&2
        exit 1
    fi
    sleep 0.1
done
if [ ! -s "$display_file" ]; then
    echo "error: Xvfb did not report a display within 10 s." >&2
    exit 1
fi
export DISPLAY=":$(head -n1 "$display_file")"

# Windows live on a Wine virtual desktop: without a window manager on the display, Wine would
# wait 2 s for one each time a top-level window is hidden. The marker notes that it is set up.
if [ ! -f "$prefix/.skarvel-desktop" ]; then
    echo "== Creating the Wine prefix $prefix (about 10 s, once per build folder)"
    if ! {
        wineboot -i &&
            wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f &&
            wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f &&
            wineserver -w
    } >"$prefix.log" 2>&1; then
        echo "error: creating the Wine prefix failed; see $prefix.log" >&2
        exit 1
    fi
    touch "$prefix/.skarvel-desktop"
fi

set +e
"$@"
status=$?
set -e
exit $status
