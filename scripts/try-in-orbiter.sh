#!/usr/bin/env bash
# Tries Skarvel in a real Orbiter folder under Wine without writing into it. The folder is copied
# into a run folder of its own (scripts/folder-snapshot.sh copy: the large asset folders are links
# to the user's), the add-on package's DLL is installed in the copy and ticked in its Orbiter.cfg,
# and orbiter.exe runs there with the command line given, while the script watches which scenario
# is staged. It then reports in a few lines what happened and what the run wrote. The user's
# folder is only read: its inventory, taken before the run, is taken again after it, on every end,
# and whatever changed is named; nothing there is ever removed or put back.
#
#   bash scripts/try-in-orbiter.sh [options] ORBITER_FOLDER [-- ORBITER'S COMMAND LINE...]
#
#   --zip FILE         the add-on zip to install (default: dist/Skarvel-<version>.zip, made by
#                      scripts/package.sh from this commit when dist/ has none for it)
#   --seconds N        stop Orbiter after N seconds if it has not ended by then (default 60)
#   --show             use the display in DISPLAY instead of a private Xvfb one
#   --screenshot FILE  where the last picture before the end goes (PNG; default: screenshot.png
#                      in the run folder)
#   --runs DIR         where the run folders go (default: build/try-in-orbiter/runs)
#   --keep             after a run in which the module drove the launchpad, install Skarvel.dll
#                      in ORBITER_FOLDER's Modules\Plugin and tick it in its Orbiter.cfg; the
#                      Orbiter.cfg it changes is copied into the run folder first
#   --replace          with --keep: install over a Skarvel.dll with other bytes, which is copied
#                      into the run folder first
#
# Each run has a folder of its own, DIR/DATE_TIME, which stays until you remove it: Orbiter/, the
# copy Orbiter ran in, with everything it wrote; orbiter.out, what Orbiter and Wine printed;
# screenshot.png; kept/, the files --keep replaced; the inventories.
#
# Exit status: 0 Orbiter was tried and ORBITER_FOLDER is as it was (whatever the verdict); 1 it
# could not try, or --keep would not install (ORBITER_FOLDER as it was); 2 bad usage; 3
# ORBITER_FOLDER changed during the run (the changes are named; 3 wins over the others); 129, 130
# or 143 HUP, INT or TERM stopped it.
#
# One run at a time uses a Wine prefix; a second run waits for the first to end. The prefix is
# WINEPREFIX when set, else build/try-in-orbiter/wineprefix (made on first use).
# For the project's own tests only: SKARVEL_TRY_ARCH=x64 runs a 64-bit orbiter.exe with Wine's
# 64-bit loader, on machines whose kernel runs no 32-bit programs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/.." && pwd)
source "$here/wine-setup.sh"

usage() {
    sed -n '/^#   bash scripts/,/^# For the project/p' "$0" | sed '$d; s/^# \{0,1\}//'
}
bad_usage() {
    echo "error: $1" >&2
    echo "       run: bash scripts/try-in-orbiter.sh --help" >&2
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
screenshot=
runs=$source_dir/build/try-in-orbiter/runs
folder=
# value OPTION ARGUMENTS...: sets given to the option's value; a usage error when there is none.
value() {
    [ $# -ge 2 ] && [ -n "$2" ] || bad_usage "$1 needs a value."
    given=$2
}
while [ $# -gt 0 ]; do
    case $1 in
    --zip) value "$@" && shift && zip_file=$(realpath -m -- "$given") ;;
    --screenshot) value "$@" && shift && screenshot=$(realpath -m -- "$given") ;;
    --runs) value "$@" && shift && runs=$(realpath -m -- "$given") ;;
    --seconds)
        value "$@" && shift && seconds=$given
        [[ "$seconds" =~ ^[1-9][0-9]*$ ]] || bad_usage "--seconds needs a whole number of seconds, not '$seconds'."
        ;;
    --replace) replace=1 ;;
    --show) show=1 ;;
    --keep) keep=1 ;;
    --help | -h)
        usage
        exit 0
        ;;
    --)
        shift
        break
        ;;
    -*) bad_usage "unknown option $1." ;;
    *)
        [ -z "$folder" ] || bad_usage "name one Orbiter folder; Orbiter's command line follows --."
        folder=$1
        ;;
    esac
    shift
done
[ -n "$folder" ] || bad_usage "name the Orbiter folder to try the module in."
[ "$replace" = 0 ] || [ "$keep" = 1 ] || bad_usage "--replace works with --keep only."
command_line=("$@")

arch=${SKARVEL_TRY_ARCH:-i686}
case $arch in
i686) machine=014c ;;
x64) machine=8664 ;;
*) bad_usage "SKARVEL_TRY_ARCH is i686 or x64 (x64 only for the project's tests)." ;;
esac

# A path under a folder as Windows finds it there, whatever the case of each name; names that do
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
[ -d "$(windows_path "$folder" Scenarios)" ] ||
    fail "$folder has orbiter.exe but no Scenarios folder beside it."
# Nothing the run writes may land in the folder it only reads.
case $runs/ in
"$folder"/*) fail "the run folders would lie inside $folder ($runs), which is to be only read." \
    "Name a place outside it with --runs DIR." ;;
esac
case $screenshot in
"$folder"/*) fail "the screenshot would be written inside $folder, which is to be only read." \
    "Name a place outside it with --screenshot FILE." ;;
esac

packages=(wine wine64 xvfb xauth x11-utils imagemagick unzip inotify-tools)
[ "$arch" = i686 ] && packages+=(wine32:i386)
"$source_dir/scripts/install-packages.sh" "${packages[@]}"
loader=$(wine_loader "$arch")
status=$(wine_loader_status "$loader")
if [ "$status" -eq 126 ]; then
    fail "this machine's kernel runs no 32-bit programs, so Wine's 32-bit loader cannot start" \
        "and no Orbiter 2006 can run here."
elif [ "$status" -ne 0 ]; then
    fail "Wine's loader $loader fails to start (status $status); run '$loader --version' to see why."
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

# What ends with the script: the unpacked DLL, the watch's pipe, the wine shim. The run folder
# stays.
work=$(mktemp -d)
run_dir=
orbiter_pid=
owns_session=0
inventory_taken=0
checked=0
folder_changed=0
watch_pid=
watch_reader_pid=
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
stop_watch() {
    [ -n "$watch_pid" ] || return 0
    # The events of Orbiter's last writes are read before the watch ends.
    sleep 0.2
    kill "$watch_pid" 2>/dev/null || true
    wait "$watch_pid" "$watch_reader_pid" 2>/dev/null || true
    watch_pid=
}

# Takes the inventory of the user's folder again, once, and names whatever changed since the
# first. Nothing is put back: the changes are the user's to look at.
check_user_folder() {
    [ "$inventory_taken" = 1 ] && [ "$checked" = 0 ] || return 0
    checked=1
    local changes status=0
    changes=$(bash "$here/folder-snapshot.sh" compare "$folder" "$run_dir/inventory") || status=$?
    case $status in
    0) echo "== $folder was only read: it is as it was before the run" ;;
    3)
        folder_changed=1
        echo "== Changed in $folder during the run:"
        printf '%s\n' "$changes" | sed 's/^/   /'
        echo "   Nothing there was removed or put back. Orbiter wrote through the links to its asset"
        echo "   folders, through an absolute path on its command line, or a plug-in wrote outside"
        echo "   Orbiter's folder; or something else on this machine changed it meanwhile."
        ;;
    *)
        folder_changed=1
        echo "== $folder could not be checked (above), so it may have changed during the run."
        ;;
    esac
}

# Every end comes here: a normal one, a failure, or a signal. Nothing in it may end the script
# early, so that the status it gives is the one it means.
finish() {
    local status=$?
    set +e
    trap '' INT TERM HUP
    trap - EXIT
    # Said here, not in the signal's trap: bash may cut a trap short when the signal also ended
    # the command it was waiting for.
    case $status in
    129) echo $'\n== Interrupted (HUP)' ;;
    130) echo $'\n== Interrupted (INT)' ;;
    143) echo $'\n== Interrupted (TERM)' ;;
    esac
    stop_orbiter
    stop_watch
    check_user_folder
    stop_private_display
    rm -rf "$work"
    [ "$folder_changed" = 0 ] || status=3
    exit "$status"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

unzip -q -o "$zip_file" Modules/Plugin/Skarvel.dll -d "$work" 2>/dev/null ||
    fail "$zip_file holds no Modules/Plugin/Skarvel.dll; is it Skarvel's add-on zip?"
new_dll=$work/Modules/Plugin/Skarvel.dll

user_dll=$(windows_path "$folder" Modules Plugin Skarvel.dll)
if [ "$keep" = 1 ] && [ -f "$user_dll" ] && ! cmp -s "$user_dll" "$new_dll" && [ "$replace" = 0 ]; then
    fail "$user_dll is there already, with other bytes than the one in $(basename "$zip_file")." \
        "With --keep, --replace installs this one over it and keeps a copy of it in the run folder."
fi

# One run at a time per Wine prefix: runs sharing a prefix share its wineserver, and a run that
# ends the session it started would end the other run's Orbiter too. The lock is held on the
# prefix folder itself, by this script alone (fd 8 is closed for everything it starts), so a run
# killed outright never blocks the next.
own_prefix=0
if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX=$source_dir/build/try-in-orbiter/wineprefix
    own_prefix=1
fi
mkdir -p "$WINEPREFIX"
exec 8<"$WINEPREFIX"
if ! flock -n 8; then
    echo "== Another run is using the Wine prefix $WINEPREFIX; waiting for it to end (Ctrl-C stops)"
    # Polled, so that a signal is handled at once.
    until flock -n 8; do
        sleep 0.5
    done
fi

# The run folder, named by the time it starts; a second run within the same second gets "-2".
mkdir -p "$runs" || fail "cannot make $runs."
stamp=$(date +%Y-%m-%d_%H%M%S)
run_dir=$runs/$stamp
n=1
until mkdir "$run_dir" 2>/dev/null; do
    n=$((n + 1))
    [ "$n" -le 100 ] || fail "cannot make a run folder in $runs."
    run_dir=$runs/$stamp-$n
done
echo "== Run folder: $run_dir"
copy=$run_dir/Orbiter
echo "== Taking an inventory of $folder and copying it into the run folder"
bash "$here/folder-snapshot.sh" take "$folder" "$run_dir/inventory" ||
    fail "could not take the inventory of $folder (above); nothing was run."
inventory_taken=1
bash "$here/folder-snapshot.sh" copy "$folder" "$copy" ||
    fail "could not copy $folder into the run folder (above); nothing was run."

echo "== Installing Skarvel.dll from $(basename "$zip_file") in the copy and ticking it in its Orbiter.cfg"
mkdir -p "$(windows_path "$copy" Modules Plugin)" &&
    cp "$new_dll" "$(windows_path "$copy" Modules Plugin Skarvel.dll)" &&
    "$source_dir/scripts/tick-module.sh" "$(windows_path "$copy" Orbiter.cfg)" Skarvel ||
    fail "could not install and tick the module in the copy $copy (above); nothing was run."
# What Orbiter and the run write is told from this second inventory, of the copy as Orbiter
# finds it.
bash "$here/folder-snapshot.sh" take "$copy" "$run_dir/inventory-of-the-copy" ||
    fail "could not take the inventory of the copy $copy (above); nothing was run."

use_wine_loader "$loader" "$work"
# A prefix of the user's own is used as it is; this script's own is set up as the tests' are.
if [ "$own_prefix" = 1 ]; then
    set_up_wine_prefix "$arch" "$WINEPREFIX" 8<&- || exit 1
fi
wineserver -k0 2>/dev/null || owns_session=1
if [ "$show" = 0 ]; then
    start_private_display 8<&- || exit 1
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

# Watches the copy's Scenarios\ while Orbiter runs. The first content written to "(Current
# state).scn" is what the module staged; a later write of other content is Orbiter saving the
# simulation's final state when a session ends, which may come a second after the staging.
# File-system events (inotify) report each write as it is closed, so none is missed however soon
# the next follows.
scenarios=$(windows_path "$copy" Scenarios)
watched=$work/watched
start_watch() {
    mkdir -p "$watched"
    mkfifo "$watched/events"
    inotifywait -m -e close_write -e moved_to --format '%f' "$scenarios" \
        >"$watched/events" 2>"$watched/log" 8<&- &
    watch_pid=$!
    read_watch_events <"$watched/events" 8<&- &
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

echo "== Running orbiter.exe $(windows_command_line "${command_line[@]}") in the copy (at most $seconds s)"
start_watch
screenshot=${screenshot:-$run_dir/screenshot.png}
mkdir -p "$(dirname "$screenshot")"
rm -f "$screenshot"
usage_seen=0
started=$(date +%s%N)
(cd "$copy" && exec wine "$(basename "$orbiter")" "${command_line[@]}") >"$run_dir/orbiter.out" 2>&1 8<&- &
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
log=$(windows_path "$copy" Orbiter.log)
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
# drove: the module was loaded and drove the launchpad, which --keep asks for.
drove=0
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
else
    drove=1
    if [ "$usage_seen" = 1 ]; then
        verdict="usage dialog shown"
    elif [ -e "$watched/staged" ]; then
        verdict="launched \"${equals:-a scenario from outside Scenarios\\}\" $paused"
    elif [ ${#command_line[@]} -eq 0 ]; then
        verdict="nothing launched: the command line names no scenario"
    else
        verdict="nothing launched: the scenario was not staged, and no usage dialog was seen"
    fi
fi

echo "== Report"
echo "   run folder: $copy ($(du -sk "$copy" | awk '{ printf "%.1f MB", $1 * 1024 / 1e6 }') on disk;" \
    "its asset folders are links to yours)"
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
# An Orbiter that failed on its own, or never loaded the module, may say why.
if { [ "$drove" = 0 ] || [ "$status" != 0 ]; } && [ "$status" != 255 ] && [ -s "$run_dir/orbiter.out" ]; then
    echo "== The last lines Orbiter and Wine printed ($run_dir/orbiter.out):"
    tail -n 12 "$run_dir/orbiter.out" | sed 's/^/   /'
fi

# What Orbiter and the run wrote into the copy, and what they removed there, from the lines of
# folder-snapshot.sh compare: "PATH: new", "PATH/: new (folder, 3 entries)", "PATH: changed (...)",
# "PATH: removed".
written=() removed=() copy_status=0
changes=$(bash "$here/folder-snapshot.sh" compare "$copy" "$run_dir/inventory-of-the-copy") ||
    copy_status=$?
if [ "$copy_status" != 0 ] && [ "$copy_status" != 3 ]; then
    echo "== What the run wrote in the copy could not be told (above)."
else
    while IFS= read -r line; do
        if [[ $line =~ ^(.*):\ new(\ \(.*\))?$ ]]; then
            written+=("${BASH_REMATCH[1]}${BASH_REMATCH[2]}")
        elif [[ $line =~ ^(.*):\ removed(\ \(.*\))?$ ]]; then
            removed+=("${BASH_REMATCH[1]}${BASH_REMATCH[2]}")
        elif [[ $line =~ ^(.*):\ changed\ \(.*\)$ ]]; then
            written+=("${BASH_REMATCH[1]}")
        fi
    done <<<"$changes"
    printf -v line '%s; ' "${written[@]}"
    [ ${#written[@]} -gt 0 ] || line="nothing; "
    echo "== Written during the run: ${line%; }"
    if [ ${#removed[@]} -gt 0 ]; then
        printf -v line '%s; ' "${removed[@]}"
        echo "== Removed during the run: ${line%; }"
    fi
fi

check_user_folder

# --keep: the one write into the user's folder, made only once the module has shown that it
# drives this Orbiter's launchpad. Each file it changes is copied into the run folder first.
keep_module() {
    if [ "$folder_changed" = 1 ]; then
        echo "== --keep: Skarvel.dll was not installed: $folder changed during the run (above)."
        return 1
    fi
    if [ "$drove" = 0 ]; then
        case $verdict in
        "ended at start"*) echo "== --keep: Skarvel.dll was not installed: the module ended Orbiter at start," \
            "so with it ticked this Orbiter would no longer start." ;;
        *) echo "== --keep: Skarvel.dll was not installed: the module did not load in this Orbiter." ;;
        esac
        return 1
    fi
    local dll=$user_dll cfg kept=$run_dir/kept copies=()
    cfg=$(windows_path "$folder" Orbiter.cfg)
    # The user's Orbiter.cfg, ticked, made here first; written later into the user's file in
    # place, so that a link stays a link and its target is what changes.
    if [ -e "$cfg" ]; then
        cp "$cfg" "$work/Orbiter.cfg" || return 1
    else
        : >"$work/Orbiter.cfg"
    fi
    "$source_dir/scripts/tick-module.sh" "$work/Orbiter.cfg" Skarvel || return 1
    mkdir -p "$kept" || return 1
    if [ -e "$cfg" ] && ! cmp -s "$work/Orbiter.cfg" "$cfg"; then
        cp -p "$cfg" "$kept/Orbiter.cfg" || return 1
        copies+=("$kept/Orbiter.cfg")
    fi
    if [ -e "$dll" ] && ! cmp -s "$dll" "$new_dll"; then
        cp -p "$dll" "$kept/Skarvel.dll" || return 1
        copies+=("$kept/Skarvel.dll")
    fi
    if ! cmp -s "$dll" "$new_dll"; then
        mkdir -p "$(dirname "$dll")" && cp "$new_dll" "$dll" || return 1
    fi
    if ! cmp -s "$work/Orbiter.cfg" "$cfg"; then
        cat "$work/Orbiter.cfg" >"$cfg" || return 1
    fi
    rmdir "$kept" 2>/dev/null || true
    echo "== --keep: ${dll#"$folder"/} is installed in $folder and ticked in ${cfg#"$folder"/}"
    if [ ${#copies[@]} -gt 0 ]; then
        printf -v line '%s; ' "${copies[@]}"
        echo "   What it replaced is kept as it was: ${line%; }"
    fi
}
if [ "$keep" = 1 ] && ! keep_module; then
    if [ -d "$run_dir/kept" ]; then
        echo "error: --keep did not finish (above); what it replaced is kept as it was in $run_dir/kept" >&2
    fi
    [ "$folder_changed" = 1 ] || exit 1
fi
exit 0
