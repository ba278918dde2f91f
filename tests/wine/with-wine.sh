#!/usr/bin/env bash
# Runs a command with Wine ready for it: the Wine loader of one architecture, a private X
# display (Xvfb), and a Wine prefix made once per build folder. Runs sharing the prefix take
# turns, so that stopping Wine at the end of one cannot end another's programs.
#
#   tests/wine/with-wine.sh ARCH PREFIX COMMAND [ARG...]     ARCH: i686 or x64
#
# Inside, `wine` runs Windows programs of ARCH: the 64-bit loader for x64, so that x64 runs on
# every machine (Debian's own `wine` starts the 32-bit loader first), and the 32-bit loader for
# i686, both with address-space randomisation off (scripts/wine-setup.sh says why). DISPLAY,
# WINEPREFIX, WINEDEBUG (Wine's error messages only, unless set) and WINEDLLOVERRIDES are set too,
# and one Wine session (the wineserver with Wine's services and its desktop) lasts for the whole
# command. Exits with the command's status, or 77 (a skip for ctest) when Wine or Xvfb is not
# installed, or when ARCH is i686 and this machine runs no 32-bit programs
# (scripts/runs-32-bit.sh answers; SKARVEL_NO_32_BIT=1 makes it answer no).
set -euo pipefail
if [ $# -lt 3 ] || { [ "$1" != i686 ] && [ "$1" != x64 ]; }; then
    echo "usage: $0 i686|x64 PREFIX COMMAND [ARG...]" >&2
    exit 2
fi
arch=$1
prefix=$(realpath -m "$2") # Wine wants an absolute path
shift 2

for tool in wineserver Xvfb; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed, so the Windows build cannot run here."
        echo "      On Debian 12, as root: bash scripts/install-packages.sh wine wine32:i386 wine64 xvfb xauth"
        exit 77
    fi
done
source "$(dirname "$0")/../../scripts/wine-setup.sh"
# Some kernels refuse 32-bit Linux programs, and Wine's 32-bit loader is one; the test command
# does not install it there.
if [ "$arch" = i686 ] && ! not_32_bit=$("$(dirname "$0")/../../scripts/runs-32-bit.sh"); then
    echo "SKIP: $not_32_bit; the i686 DLL was checked statically."
    exit 77
fi
loader=$(wine_loader "$arch")
if [ ! -x "$loader" ]; then
    echo "SKIP: the $arch Wine loader $loader is not installed."
    echo "      On Debian 12, as root: bash scripts/install-packages.sh wine wine32:i386 wine64"
    exit 77
fi
if ! "$loader" --version >/dev/null 2>&1; then
    echo "error: Wine's $arch loader $loader fails to start; run '$loader --version' to see why." >&2
    exit 1
fi

export WINEPREFIX=$prefix
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
if ! flock -w 600 9; then
    echo "error: another run has held the Wine prefix $prefix for 10 minutes; is one stuck?" >&2
    echo "       Stop it (WINEPREFIX=$prefix wineserver -k) and run again." >&2
    exit 1
fi

# `wine` for the command and for the set-up below: the loader of ARCH, without address-space
# randomisation.
shims=$(mktemp -d)
use_wine_loader "$loader" "$shims"

# A private display: Wine cannot create windows without one.
stop() {
    # Ends every program of the session, then the server; it returns once the server is gone.
    wineserver -k 2>/dev/null || true
    stop_private_display
    rm -rf "$shims"
}
trap stop EXIT
start_private_display || exit 1

set_up_wine_prefix "$arch" "$prefix" || exit 1

# One Wine session serves the whole command. Debian's wineserver wrapper passes -p0, so by
# default the server, with Wine's desktop and services, shuts down about a second after the last
# Windows program and starts again with the next, its messages going to whichever program started
# it. Here the server is started to stay (-p) until stop() ends it, and a first program runs Wine's
# per-session start-up (services, devices), so the command's programs neither start nor stop the
# session; what the session prints goes to a log of its own, shown when the command fails. The
# server does not keep the lock on fd 9.
session_log="$shims/session.log"
if ! wineserver -p 9>&- >"$session_log" 2>&1 || ! wine cmd.exe /c exit 9>&- >>"$session_log" 2>&1; then
    echo "error: the Wine session of $prefix did not start; Wine printed:" >&2
    sed 's/^/    /' "$session_log" >&2
    exit 1
fi
# Wine's desktop, too, closes about a second after the last program on it ends, and its process
# starts again with the next program; a program starting while it closes now and then finds no
# display ("The explorer process failed to start"). A cmd.exe reading a pipe that stays open
# until this script ends holds the desktop for the whole command, and shows no window. Neither
# it nor the command keeps the pipe's other end (fd 6) or the lock (fd 9).
mkfifo "$shims/desktop-holder"
wine cmd.exe /k <"$shims/desktop-holder" >>"$session_log" 2>&1 9>&- &
exec 6>"$shims/desktop-holder"

set +e
"$@" 6>&-
status=$?
set -e
if [ $status -ne 0 ] && [ $status -ne 77 ] && [ -s "$session_log" ]; then
    echo "== Wine's own messages in this run (the server and the session's services):"
    sed 's/^/    /' "$session_log"
fi
exit $status
