#!/usr/bin/env bash
# Tries Skarvel in a real Orbiter folder under Wine: takes an inventory of the whole folder and
# backs up what Orbiter may rewrite (scripts/folder-snapshot.sh), installs the add-on package's
# DLL in Modules\Plugin and ticks it in Orbiter.cfg, runs orbiter.exe with the command line given
# while it watches which scenario is staged, reports in a few lines what happened, and then makes
# the folder as it was: what was not there is removed, every backed-up file is put back byte for
# byte, and the whole folder is checked against the inventory.
#
#   bash scripts/try-in-orbiter.sh [options] ORBITER_FOLDER [-- ORBITER'S COMMAND LINE...]
#
#   --zip FILE         the add-on zip to install (default: dist/Skarvel-<version>.zip, made by
#                      scripts/package.sh from this commit when dist/ has none for it)
#   --replace          install over a Skarvel.dll with other bytes (it is put back afterwards)
#   --seconds N        stop Orbiter after N seconds if it has not ended by then (default 60)
#   --show             use the display in DISPLAY instead of a private Xvfb one
#   --screenshot FILE  where the last picture before the end goes (PNG; default
#                      build/try-in-orbiter/screenshot.png)
#   --keep             leave the module installed and ticked afterwards (all else is put back)
#
# Exit status: 0 when Orbiter was tried and the folder is as it was (whatever the verdict), 1 when
# it could not try (the folder left or put back as it was), 2 bad usage, 3 when the folder could
# not be made as it was (the differences are named), 129, 130 or 143 when HUP, INT or TERM stopped
# it (the folder put back); 3 wins over the others.
#
# The Wine prefix is WINEPREFIX when set, else build/try-in-orbiter/wineprefix (made on first use).
# For the project's own tests only: SKARVEL_TRY_ARCH=x64 runs a 64-bit orbiter.exe with Wine's
# 64-bit loader, on machines whose kernel runs no 32-bit programs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/.." && pwd)
source "$here/wine-setup.sh"

usage() {
    sed -n '9,23p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
}
fail() {
    echo "error: $1" >&2
    shift
    [ $# -eq 0 ] || printf '       %s\n' "$@" >&2
    exit 1
}

zip_file=
replace=0
seconds=60
show=0
keep=0
screenshot=$source_dir/build/try-in-orbiter/screenshot.png
folder=
while [ $# -gt 0 ]; do
    case $1 in
    --zip) zip_file=$(realpath -m "${2:?--zip needs a file}") && shift ;;
    --replace) replace=1 ;;
    --seconds)
        seconds=${2:-}
        [[ "$seconds" =~ ^[1-9][0-9]*$ ]] || fail "--seconds needs a whole number of seconds"
        shift
        ;;
    --show) show=1 ;;
    --screenshot) screenshot=$(realpath -m "${2:?--screenshot needs a file}") && shift ;;
    --keep) keep=1 ;;
    --help | -h) usage ;;
    --)
        shift
        break
        ;;
    -*) fail "unknown option $1" "run: bash scripts/try-in-orbiter.sh --help" ;;
    *)
        [ -z "$folder" ] || fail "name one Orbiter folder; Orbiter's command line follows --"
        folder=$1
        ;;
    esac
    shift
done
[ -n "$folder" ] || usage
command_line=("$@")

arch=${SKARVEL_TRY_ARCH:-i686}
case $arch in
i686) machine=014c ;;
x64) machine=8664 ;;
*) fail "SKARVEL_TRY_ARCH is i686 or x64 (x64 only for the project's tests)" ;;
esac

# A path under the folder as Windows finds it there, whatever the case of each name; names that do
# not exist yet keep the case given.
windows_path() {
    local path=$1 name found
    shift
    for name in "$@"; do
        found=$(find "$path" -mindepth 1 -maxdepth 1 -iname "$name" -print -quit 2>/dev/null)
        path=${found:-$path/$name}
    done
    printf '%s\n' "$path"
}

# The machine field of a Windows program's PE header (014c: x86, 8664: x64), or nothing.
pe_machine() {
    local offset
    [ "$(head -c 2 "$1" 2>/dev/null)" = MZ ] || return 0
    offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    [ "$(od -An -c -j"$offset" -N4 "$1" 2>/dev/null | tr -d ' ')" = 'PE\0\0' ] || return 0
    od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' '
}

echo "== Checking $folder"
[ -d "$folder" ] || fail "$folder is not a folder."
folder=$(realpath "$folder")
orbiter=$(windows_path "$folder" orbiter.exe)
[ -f "$orbiter" ] || fail "$folder holds no orbiter.exe, so it is not Orbiter's folder." \
    "Name the folder that holds orbiter.exe and Scenarios\\."
found=$(pe_machine "$orbiter")
if [ "$found" != "$machine" ]; then
    case $found in
    014c) what="a 32-bit (x86) Windows program" ;;
    8664) what="a 64-bit (x64) Windows program" ;;
    "") what="not a Windows program" ;;
    *) what="a Windows program for machine $found" ;;
    esac
    [ "$arch" = i686 ] && wanted="a 32-bit (x86) Windows program, as Orbiter 2006 is" ||
        wanted="a 64-bit (x64) Windows program (SKARVEL_TRY_ARCH=x64)"
    fail "$orbiter is $what; it must be $wanted."
fi
scenarios=$(windows_path "$folder" Scenarios)
[ -d "$scenarios" ] || fail "$folder has orbiter.exe but no Scenarios folder beside it."

packages=(wine wine64 xvfb xauth x11-utils imagemagick unzip inotify-tools)
[ "$arch" = i686 ] && packages+=(wine32:i386)
"$source_dir/scripts/install-packages.sh" "${packages[@]}"
loader=$(wine_loader "$arch")
status=$(wine_loader_status "$loader")
if [ "$status" -eq 126 ]; then
    fail "this machine's kernel runs no 32-bit programs, so Wine's 32-bit loader cannot start" \
        "and no Orbiter 2006 can run here. Nothing in $folder was changed."
elif [ "$status" -ne 0 ]; then
    fail "Wine's loader $loader fails to start (status $status); run '$loader --version' to see why." \
        "Nothing in $folder was changed."
fi
if [ "$show" = 1 ] && [ -z "${DISPLAY:-}" ]; then
    fail "--show uses the display in DISPLAY, and DISPLAY is not set."
fi

if [ -z "$zip_file" ]; then
    version=$(sed -n 's/^project(Skarvel VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
    zip_file=$source_dir/dist/Skarvel-$version.zip
    commit=$(git -C "$source_dir" rev-parse HEAD)
    if [ "$(cat "$zip_file.commit" 2>/dev/null)" != "$commit" ]; then
        echo "== dist/ has no package of this commit; making it with scripts/package.sh"
        bash "$source_dir/scripts/package.sh" ||
            fail "scripts/package.sh could not make the package (above); name a zip with --zip."
    fi
fi
[ -f "$zip_file" ] || fail "there is no zip $zip_file"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzip -q -o "$zip_file" Modules/Plugin/Skarvel.dll -d "$work" 2>/dev/null ||
    fail "$zip_file holds no Modules/Plugin/Skarvel.dll; is it Skarvel's add-on zip?"
new_dll=$work/Modules/Plugin/Skarvel.dll

plugin=$(windows_path "$folder" Modules Plugin)
dll=$(windows_path "$folder" Modules Plugin Skarvel.dll)
if [ -f "$dll" ] && ! cmp -s "$dll" "$new_dll" && [ "$replace" = 0 ]; then
    fail "$dll is there already, with other bytes than the one in $(basename "$zip_file")." \
        "--replace installs this one for the run and puts that one back afterwards."
fi

cfg=$(windows_path "$folder" Orbiter.cfg)
log=$(windows_path "$folder" Orbiter.log)

# The whole folder as it is now: its inventory, and a copy of every file that Orbiter or a plug-in
# may rewrite (scripts/folder-snapshot.sh says which), taken before anything changes.
snapshot=$work/snapshot
echo "== Taking an inventory of $folder and a back-up of what Orbiter may change"
bash "$here/folder-snapshot.sh" take "$folder" "$snapshot" ||
    fail "could not take the inventory and back-up (above); nothing in $folder was changed."

orbiter_pid=
owns_session=0
restored=0
not_put_back=0
# Makes the folder as it was: removes what was not there, puts back every backed-up file, and
# checks the whole folder against the inventory. With --keep the module is then installed and
# ticked again.
restore() {
    [ "$restored" = 0 ] || return 0
    restored=1
    local status=0
    bash "$here/folder-snapshot.sh" put-back "$folder" "$snapshot" || status=$?
    if [ "$status" -ne 0 ]; then
        not_put_back=1
        echo "== $folder is not as it was (above): scripts/try-in-orbiter.sh exits with status 3."
        return 0
    fi
    if [ "$keep" = 1 ]; then
        mkdir -p "$plugin"
        cp "$new_dll" "$dll"
        "$source_dir/scripts/tick-module.sh" "$cfg" Skarvel
        echo "== --keep: Skarvel.dll stays in ${plugin#"$folder"/}, ticked in ${cfg#"$folder"/}"
    fi
}
stop_orbiter() {
    if [ -n "$orbiter_pid" ] && kill -0 "$orbiter_pid" 2>/dev/null; then
        kill -TERM "$orbiter_pid" 2>/dev/null || true
        for _ in $(seq 30); do
            kill -0 "$orbiter_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$orbiter_pid" 2>/dev/null || true
        wait "$orbiter_pid" 2>/dev/null || true
    fi
    orbiter_pid=
    # A session this script started ends with it: no Windows program of it outlives the run.
    [ "$owns_session" = 0 ] || wineserver -k 2>/dev/null || true
    owns_session=0
}

# Watches Scenarios\ while Orbiter runs. The first content written to "(Current state).scn" is
# what the module staged; a later write of other content is Orbiter saving the simulation's final
# state when a session ends, which may come a second after the staging. File-system events
# (inotify) report each write as it is closed, so none is missed however soon the next follows.
watch_pid=
watch_reader_pid=
watched=$work/watched
start_watch() {
    mkdir -p "$watched"
    mkfifo "$watched/events"
    inotifywait -m -e close_write -e moved_to --format '%f' "$scenarios" \
        >"$watched/events" 2>"$watched/log" &
    watch_pid=$!
    read_watch_events <"$watched/events" &
    watch_reader_pid=$!
    local _
    for _ in $(seq 100); do
        grep -q 'Watches established' "$watched/log" 2>/dev/null && return 0
        kill -0 "$watch_pid" 2>/dev/null || break
        sleep 0.05
    done
    fail "inotifywait could not watch $scenarios:" "$(cat "$watched/log" 2>/dev/null)"
}
read_watch_events() {
    local name
    while IFS= read -r name; do
        [ "${name,,}" = "(current state).scn" ] || continue
        if [ ! -e "$watched/staged" ]; then
            cp "$scenarios/$name" "$watched/copy" 2>/dev/null && mv "$watched/copy" "$watched/staged"
        elif ! cmp -s "$scenarios/$name" "$watched/staged"; then
            touch "$watched/saved"
        fi
    done
}
stop_watch() {
    [ -n "$watch_pid" ] || return 0
    # The events of Orbiter's last writes are read before the watch ends.
    sleep 0.2
    kill "$watch_pid" 2>/dev/null || true
    wait "$watch_pid" "$watch_reader_pid" 2>/dev/null || true
    watch_pid=
}

finish() {
    local status=$?
    trap - EXIT INT TERM HUP
    stop_orbiter
    stop_watch
    restore
    stop_private_display
    rm -rf "$work"
    [ "$not_put_back" = 0 ] || status=3
    exit "$status"
}
trap finish EXIT
interrupted() {
    echo
    echo "== Interrupted ($1); putting $folder back"
    exit "$2"
}
trap 'interrupted INT 130' INT
trap 'interrupted TERM 143' TERM
trap 'interrupted HUP 129' HUP

echo "== Installing Skarvel.dll from $(basename "$zip_file") and ticking it in Orbiter.cfg"
mkdir -p "$plugin"
cp "$new_dll" "$dll"
"$source_dir/scripts/tick-module.sh" "$cfg" Skarvel

use_wine_loader "$loader" "$work"
# A prefix of the user's own is used as it is; this script's own is set up as the tests' are.
if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX=$source_dir/build/try-in-orbiter/wineprefix
    set_up_wine_prefix "$arch" "$WINEPREFIX" || exit 1
fi
wineserver -k0 2>/dev/null || owns_session=1
if [ "$show" = 0 ]; then
    start_private_display || exit 1
fi

# The command line as Wine hands it to orbiter.exe, and Orbiter to the module: a word with a blank
# or a tab in double quotes, a quote escaped with a backslash, backslashes before a quote doubled.
windows_command_line() {
    local word line="" c backslashes quoted
    for word in "$@"; do
        [[ -z "$word" || "$word" == *[[:blank:]]* ]] && quoted=1 || quoted=0
        [ "$quoted" = 0 ] || line+='"'
        backslashes=0
        while IFS= read -r -n1 -d '' c; do
            if [ "$c" = '"' ]; then
                line+=$(printf '%*s' $((backslashes + 1)) '' | tr ' ' '\\')
            fi
            [ "$c" = '\' ] && backslashes=$((backslashes + 1)) || backslashes=0
            line+=$c
        done < <(printf '%s' "$word")
        [ "$quoted" = 0 ] || line+=$(printf '%*s' "$backslashes" '' | tr ' ' '\\')'"'
        line+=' '
    done
    printf '%s' "${line% }"
}
echo "== Running orbiter.exe $(windows_command_line "${command_line[@]}") in $folder (at most $seconds s)"
start_watch
mkdir -p "$(dirname "$screenshot")"
rm -f "$screenshot"
usage_seen=0
started=$(date +%s%N)
(cd "$folder" && exec wine "$(basename "$orbiter")" "${command_line[@]}") >"$work/orbiter.out" 2>&1 &
orbiter_pid=$!
next_picture=0
stopped=0
while kill -0 "$orbiter_pid" 2>/dev/null; do
    now=$(date +%s%N)
    if [ "$usage_seen" = 0 ] && xwininfo -root -tree 2>/dev/null | grep -q '"Skarvel Usage"'; then
        usage_seen=1
    fi
    # A picture about every second; the last one taken is the one kept.
    if [ "$now" -ge "$next_picture" ]; then
        import -silent -window root "png:$work/picture.png" 2>/dev/null &&
            mv -f "$work/picture.png" "$screenshot"
        next_picture=$((now + 1000000000))
    fi
    if [ $(((now - started) / 1000000000)) -ge "$seconds" ]; then
        stopped=1
        break
    fi
    sleep 0.1
done
status=0
if [ "$stopped" = 1 ]; then
    stop_orbiter
else
    wait "$orbiter_pid" || status=$?
    orbiter_pid=
fi
tenths=$((($(date +%s%N) - started) / 100000000))
took="$((tenths / 10)).$((tenths % 10)) s"
stop_watch

# What happened, from Orbiter.log, the exit status, the writes watched and the windows seen.
module_line=$(grep -a -m1 'Module Skarvel\.dll ' "$log" 2>/dev/null | tr -d '\r' || true)
failed_line=$(grep -a -i -m1 'Failed loading module .*Skarvel\.dll' "$log" 2>/dev/null | tr -d '\r' || true)
if [ -e "$watched/staged" ]; then
    equals=$(cd "$scenarios" && find . -type f -iname '*.scn' ! -iname '(Current state).scn' -print |
        sort | while read -r candidate; do
            if cmp -s "$candidate" "$watched/staged"; then
                candidate=${candidate#./}
                printf 'Scenarios\\%s\n' "${candidate//\//\\}"
                break
            fi
        done)
    scenario="staged ${equals:-a scenario from outside Scenarios\\} as Scenarios\\(Current state).scn"
else
    scenario="nothing staged: Scenarios\\(Current state).scn was not written"
fi
if [ -e "$watched/saved" ]; then
    session="ended and saved its state over Scenarios\\(Current state).scn"
elif [ "$stopped" = 1 ] && [ -e "$watched/staged" ]; then
    session="none ended: Orbiter was still running when it was stopped"
else
    session="none seen"
fi
paused=running
for word in "${command_line[@]}"; do
    [[ "$word" =~ ^-[A-Za-z]*[pP][A-Za-z]*$ ]] && paused=paused
done
if [ -z "$module_line" ]; then
    if [ -n "$failed_line" ]; then
        verdict="module not loaded: Orbiter failed loading ${failed_line#*Failed loading module }"
    elif [ "$stopped" = 1 ]; then
        verdict="module not loaded: Orbiter loaded no Skarvel.dll within $seconds s"
    else
        verdict="module not loaded: Orbiter never loaded it (Orbiter.log has no line for it)"
    fi
elif [ "$stopped" = 0 ] && [ "$status" = 255 ]; then
    verdict="ended at start: this launchpad is not Orbiter 2006's"
elif [ "$usage_seen" = 1 ]; then
    verdict="usage dialog shown"
elif [ -e "$watched/staged" ]; then
    verdict="launched \"${equals:-a scenario from outside Scenarios\\}\" $paused"
elif [ ${#command_line[@]} -eq 0 ]; then
    verdict="nothing launched: the command line names no scenario"
else
    verdict="nothing launched: the scenario was not staged, and no usage dialog was seen"
fi

echo "== Report"
echo "   module:     ${module_line:-${failed_line:-Orbiter.log has no line for Skarvel.dll}}"
if [ "$stopped" = 1 ]; then
    echo "   orbiter:    still running after $seconds s; stopped"
else
    echo "   orbiter:    ended with status $status after $took"
fi
echo "   scenario:   $scenario"
echo "   session:    $session"
if [ -s "$screenshot" ]; then
    echo "   screenshot: $screenshot"
else
    echo "   screenshot: none (Orbiter ended before the first one)"
fi
echo "   verdict:    $verdict"
