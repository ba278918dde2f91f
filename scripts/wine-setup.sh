# Sourced by tests/wine/with-wine.sh, and by the trial (trial/inside.py) through bash: what running
# Windows programs under Wine on this machine takes.
#
#   wine_loader ARCH            prints the Wine loader for ARCH (i686 or x64)
#   use_wine_loader LOADER DIR  makes `wine` run LOADER, through DIR/wine, without address-space
#                               randomisation (see below); keeps Wine's error messages on and
#                               turns its Mono and Gecko prompts off, unless WINEDEBUG and
#                               WINEDLLOVERRIDES say otherwise
#   set_up_wine_prefix ARCH PREFIX
#                               sets up WINEPREFIX=PREFIX for the project's Windows programs, once:
#                               a virtual desktop and Windows' dialog fonts; false, with the
#                               reason on standard error, when that fails. Needs `wine` in PATH.
#   start_private_display       starts Xvfb on a free display and exports DISPLAY; false, with the
#                               reason on standard error, when it does not start
#   stop_private_display

wine_loader() {
    case $1 in
    x64) echo /usr/lib/wine/wine64 ;;
    i686) echo /usr/lib/wine/wine ;;
    esac
}

# The loader runs under setarch -R, and the programs Wine starts inherit it. Debian's Wine has no
# preloader, so a 64-bit Wine process reserves 0x7ff00000-0x7fff0000 only once it runs; this
# kernel starts a 64-bit program's heap at a random place up to 1 GiB above the program, and
# wine64 lies at 0x7d000000, so about one start in a few thousand found its heap where Wine maps the
# shared user data (0x7ffe0000) and ended at once with status 1 ("failed to map the shared user
# data: c0000018"). Without randomisation the heap starts right after the program.
use_wine_loader() {
    printf '#!/bin/sh\nexec setarch %s -R %s "$@"\n' "$(uname -m)" "$1" >"$2/wine"
    chmod +x "$2/wine"
    export PATH="$2:$PATH"
    export WINELOADER=$1
    # Wine's error messages say why a program could not start.
    export WINEDEBUG=${WINEDEBUG:-fixme-all}
    # Nothing here needs Mono or Gecko, so Wine is not to offer to install them.
    export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
}

# Windows draws dialogs in "MS Sans Serif", a bitmap face, and caption buttons with the Marlett
# font. Wine ships both faces but, as Debian installs it, does not find its own font folder; in
# the prefix's Fonts folder they are found, so dialogs get Windows' layout. Windows live on a Wine
# virtual desktop: without a window manager on the display, Wine would wait 2 s for one each time
# a top-level window is hidden. The marker names the set-up the prefix has, so that a prefix set
# up by an older version of this file is set up again.
set_up_wine_prefix() {
    local arch=$1 prefix=$2 fonts=/usr/share/wine/fonts
    local setup="virtual desktop; fonts sserife.fon marlett.ttf"
    [ "$(cat "$prefix/.skarvel-setup" 2>/dev/null)" != "$setup" ] || return 0
    if [ ! -f "$fonts/sserife.fon" ] || [ ! -f "$fonts/marlett.ttf" ]; then
        echo "error: Wine's fonts are not in $fonts; as root: apt-get install fonts-wine" >&2
        return 1
    fi
    echo "== Setting up the $arch Wine prefix $prefix (10 to 30 s, once)"
    mkdir -p "$(dirname "$prefix")"
    if ! {
        WINEPREFIX=$prefix wine wineboot -i &&
            WINEPREFIX=$prefix wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f &&
            WINEPREFIX=$prefix wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f &&
            WINEPREFIX=$prefix wineserver -w &&
            cp "$fonts/sserife.fon" "$fonts/marlett.ttf" "$prefix/drive_c/windows/Fonts/"
    } >"$prefix.log" 2>&1; then
        echo "error: setting up the Wine prefix $prefix failed; see $prefix.log" >&2
        return 1
    fi
    echo "$setup" >"$prefix/.skarvel-setup"
}

private_display_pid=
private_display_file=

start_private_display() {
    private_display_file=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$private_display_file" 2>/dev/null &
    private_display_pid=$!
    local _
    for _ in $(seq 100); do
        if [ -s "$private_display_file" ]; then
            export DISPLAY=":$(head -n1 "$private_display_file")"
            return 0
        fi
        if ! kill -0 "$private_display_pid" 2>/dev/null; then
            echo "error: Xvfb did not start; run 'Xvfb -displayfd 1' by hand to see why." >&2
            return 1
        fi
        sleep 0.1
    done
    echo "error: Xvfb did not report a display within 10 s." >&2
    return 1
}

stop_private_display() {
    if [ -n "$private_display_pid" ]; then
        kill "$private_display_pid" 2>/dev/null || true
        wait "$private_display_pid" 2>/dev/null || true
    fi
    rm -f "$private_display_file"
    private_display_pid=
}
