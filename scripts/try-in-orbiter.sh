#!/usr/bin/env bash
# Tries Skarvel in a real Orbiter folder under Wine without writing into it. The folder is copied
# into a run folder of its own (scripts/folder-snapshot.sh copy: the large asset folders are links
# to the user's), the add-on package's DLL is installed in the copy and ticked in its Orbiter.cfg,
# and orbiter.exe runs there with the command line given, while the script watches which scenario
# is staged. It then reports in a few lines what happened and what the run wrote. The user's
# folder is only read, with no exception: its inventory, taken before the run, is taken again
# after it, on every end, and whatever changed is named; nothing there is ever removed or put back.
#
#   bash scripts/try-in-orbiter.sh [options] ORBITER_FOLDER [-- ORBITER'S COMMAND LINE...]
#
#   --zip FILE         the add-on zip to install (default: dist/Skarvel-<version>.zip, made by
#                      scripts/package.sh from this commit when dist/ has none for it)
#   --seconds N        stop Orbiter after N seconds, at most 86400, if it has not ended by then
#                      (default 60)
#   --show             use the display in DISPLAY instead of a private Xvfb one
#   --screenshot FILE  where the last picture before the end goes (PNG; default: screenshot.png
#                      in the run folder)
#   --runs DIR         where the run folders go (default: build/try-in-orbiter/runs)
#
# Each run has a folder of its own, DIR/DATE_TIME, which stays until you remove it: Orbiter/, the
# copy Orbiter ran in, with everything it wrote; report.txt, all the script printed (from the run
# folder's line on, errors go to standard output too); orbiter.out, what Orbiter and Wine
# printed; screenshot.png; the inventories. A copy larger than the free room in DIR, and a link
# cycle, are refused before anything runs. The script never installs the module in
# ORBITER_FOLDER: the report's last lines say how to.
#
# Exit status: 0 Orbiter was tried and ORBITER_FOLDER is as it was (whatever the verdict); 1 it
# could not try (ORBITER_FOLDER as it was); 2 bad usage; 3 ORBITER_FOLDER changed during the run
# (the changes are named; 3 wins over the others); 129, 130 or 143 HUP, INT or TERM stopped it.
#
# One run at a time uses a Wine prefix; a second run waits for the first to end. The prefix is
# WINEPREFIX when set (an absolute path), else this script's own, build/try-in-orbiter/wineprefix
# (made on first use). In its own prefix a run ends its Wine session when it ends, and first a
# session that a run killed outright left there; in yours it ends only the Orbiter it started.
# What a run killed outright left running (its display, watcher, copy, Orbiter) is ended by the
# next run with the same DIR.
# For the project's own tests only: SKARVEL_TRY_ARCH=x64 runs a 64-bit orbiter.exe with Wine's
# 64-bit loader, on machines whose kernel runs no 32-bit programs.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/.." && pwd)
source "$here/wine-setup.sh"
source "$here/trial-leftovers.sh"
source "$here/trial-verdict.sh"

usage() {
    sed -n '/^#   bash scripts/,/^# For the project/p' "$0" | sed '$d; s/^# \{0,1\}//'
}
bad_usage() {
    echo "error: $1" >&2
    echo "       run: bash scripts/try-in-orbiter.sh --help" >&2
    exit 2
}

zip_file=
seconds=60
show=0
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
    --screenshot)
        value "$@" && shift && screenshot=$(realpath -m -- "$given")
        [ ! -d "$screenshot" ] || bad_usage "--screenshot names the PNG file to write; $given is a folder."
        ;;
    --runs) value "$@" && shift && runs=$(realpath -m -- "$given") ;;
    --seconds)
        value "$@" && shift && seconds=$given
        [[ "$seconds" =~ ^[1-9][0-9]{0,4}$ ]] && [ "$seconds" -le 86400 ] ||
            bad_usage "--seconds needs a whole number of seconds from 1 to 86400, not '$seconds'."
        ;;
    --show) show=1 ;;
    --keep | --replace)
        bad_usage "there is no $1 any more: this script never writes your Orbiter folder. Each report ends by saying how to install the module for real."
        ;;
    --help | -h)
        usage || true # a reader that stops early (| head) is no error
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
command_line=("$@")

arch=${SKARVEL_TRY_ARCH:-i686}
case $arch in
i686) machine=014c own_prefix=$source_dir/build/try-in-orbiter/wineprefix ;;
x64) machine=8664 own_prefix=$source_dir/build/try-in-orbiter/wineprefix-x64 ;;
*) bad_usage "SKARVEL_TRY_ARCH is i686 or x64 (x64 only for the project's tests)." ;;
esac
case ${WINEPREFIX:-/} in
/*) ;;
*) bad_usage "WINEPREFIX is '$WINEPREFIX', a relative path, and Wine takes only an absolute one; set it to one, or unset it to use this script's own prefix." ;;
esac

# Until the run folder exists, what the script says is kept here, to open its report.txt, and a
# closed output (| head) is no error: the line is written by a subshell that ignores SIGPIPE.
# From then on everything goes through tee (see below).
said=()
say() {
    said+=("$*")
    (trap '' PIPE && printf '%s\n' "$*") 2>/dev/null || true
}
fail() {
    (
        trap '' PIPE
        echo "error: $1"
        shift
        [ $# -eq 0 ] || printf '       %s\n' "$@"
    ) >&2 2>/dev/null || true
    exit 1
}

# What ends with the script: the unpacked DLL, the watch's pipe, the wine shim. The run folder
# stays.
work=$(mktemp -d)
run_dir=
processes=/dev/null
tee_pid=
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
    # In this script's own prefix, the session ends with the run: no Windows program of it outlives
    # the run. In a prefix of the user's, the session may hold the user's own programs.
    [ "$owns_session" = 0 ] || wineserver -k 2>/dev/null || true
    owns_session=0
}

# Takes the inventory of the user's folder again, once, and names whatever changed since the
# first. Nothing is put back: the changes are the user's to look at.
check_user_folder() {
    [ "$inventory_taken" = 1 ] && [ "$checked" = 0 ] || return 0
    checked=1
    local changes status=0
    changes=$(bash "$here/folder-snapshot.sh" compare "$folder" "$run_dir/inventory" 8<&-) || status=$?
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
    # A copy cut short, the display: whatever else of this run still runs. The record is then
    # set aside.
    end_recorded "$processes"
    stop_private_display
    check_user_folder
    [ "$folder_changed" = 0 ] || status=3
    rm -rf "$work"
    # The report is whole in report.txt once tee has read everything.
    if [ -n "$tee_pid" ]; then
        exec >/dev/null 2>&1
        wait "$tee_pid"
    fi
    exit "$status"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# windows_path FOLDER NAME...: sets found to the path that Wine opens for FOLDER\NAME\...: in each
# folder the name as given when it is there, else the first entry that matches it case-blind in
# the order the folder lists them, which is Wine's own order of lookup; a name not there keeps
# the case given. Where several entries match a name case-blind, it says which one is used.
declare -A told=()
windows_path() {
    local path=$1 name chosen matches
    shift
    for name in "$@"; do
        mapfile -d '' -t matches < <(find -H "$path" -mindepth 1 -maxdepth 1 -iname "$name" -printf '%f\0' 2>/dev/null)
        chosen=$name
        if ! [ -e "$path/$name" ] && ! [ -L "$path/$name" ] && [ ${#matches[@]} -gt 0 ]; then
            chosen=${matches[0]}
        fi
        if [ ${#matches[@]} -gt 1 ] && [ -z "${told[$path/$chosen]+x}" ]; then
            told[$path/$chosen]=1
            local listed
            printf -v listed '%s, ' "${matches[@]}"
            say "== In $path, these match \"$name\" case-blind: ${listed%, }; Wine opens $chosen, and so does this run"
        fi
        path=$path/$chosen
    done
    found=$path
}

# The machine field of a Windows program's PE header (014c: x86, 8664: x64), or nothing.
pe_machine() {
    local offset
    [ "$(head -c 2 "$1" 2>/dev/null)" = MZ ] || return 0
    offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    [ "$(od -An -c -j"$offset" -N4 "$1" 2>/dev/null | tr -d ' ')" = 'PE\0\0' ] || return 0
    od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' '
}

say "== Checking $folder"
[ -d "$folder" ] || fail "$folder is not a folder."
folder=$(realpath "$folder")
windows_path "$folder" orbiter.exe
orbiter=$found
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
windows_path "$folder" Scenarios
[ -d "$found" ] || fail "$folder has orbiter.exe but no Scenarios folder beside it."
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
        say "== dist/ has no package of this commit; making it with scripts/package.sh (a minute or two)"
        bash "$source_dir/scripts/package.sh" >"$work/package.log" 2>&1 ||
            fail "scripts/package.sh could not make the package; it ended with:" \
                "$(tail -n 15 "$work/package.log")" "Name a zip with --zip instead."
    fi
fi
[ -f "$zip_file" ] || fail "there is no zip $zip_file"
unzip -q -o "$zip_file" Modules/Plugin/Skarvel.dll -d "$work" 2>/dev/null ||
    fail "$zip_file holds no Modules/Plugin/Skarvel.dll; is it Skarvel's add-on zip?"
new_dll=$work/Modules/Plugin/Skarvel.dll

mkdir -p "$runs" || fail "cannot make $runs."
# The run folder, named by the time it starts; a second run within the same second gets "-2".
stamp=$(date +%Y-%m-%d_%H%M%S)
run_dir=$runs/$stamp
n=1
until mkdir "$run_dir" 2>/dev/null; do
    n=$((n + 1))
    [ "$n" -le 100 ] || fail "cannot make a run folder in $runs."
    run_dir=$runs/$stamp-$n
done
# From here on, everything the script and what it starts print goes into report.txt too. tee -p
# goes on when its output closes (| head, a closed terminal), and ignores the signals that stop
# the script, so that the last lines reach the file.
printf '%s\n' "${said[@]}" >"$run_dir/report.txt"
exec > >(trap '' INT TERM HUP && exec tee -p -a "$run_dir/report.txt") 2>&1
tee_pid=$!
echo "== Run folder: $run_dir"
processes=$run_dir/processes
record_process "$processes" $$ alone try-in-orbiter.sh
copy=$run_dir/Orbiter
# Before the room is counted: a run killed during its copy may still be filling it.
end_what_killed_runs_left "$runs"

echo "== Taking an inventory of $folder and copying it into the run folder"
bash "$here/folder-snapshot.sh" room "$folder" "$runs" ||
    fail "$folder cannot be copied into $runs (above); nothing was run."
bash "$here/folder-snapshot.sh" take "$folder" "$run_dir/inventory" ||
    fail "could not take the inventory of $folder (above); nothing was run."
inventory_taken=1
# The copy runs in a process group of its own, recorded, so that a run can end it whole (cp
# included) when the run that started it was killed.
setsid bash "$here/folder-snapshot.sh" copy "$folder" "$copy" >"$work/copy.out" 2>&1 &
record_process "$processes" $! group folder-snapshot.sh
if ! wait $!; then
    cat "$work/copy.out"
    fail "could not copy $folder into the run folder (above); nothing was run."
fi
if [ -s "$work/copy.out" ]; then
    echo "== Left out of the copy, as neither file, folder nor link:"
    sed 's/^/   /; s/: left out (\(.*\))$/ (\1)/' "$work/copy.out"
fi

echo "== Installing Skarvel.dll from $(basename "$zip_file") in the copy and ticking it in its Orbiter.cfg"
# The copy is this user's to write in, even when the folder is read-only to them (an
# installation of another account): its folders, and the files Orbiter writes, get the owner's
# write bit. find does not follow the links to the asset folders.
find "$copy" -type d ! -perm -u+w -exec chmod u+w {} + ||
    fail "could not make the copy's folders writable (above); nothing was run."
windows_path "$copy" Scenarios
scenarios=$found
windows_path "$scenarios" "(Current state).scn"
staging=$found
windows_path "$copy" Orbiter.cfg
config=$found
orbiter_writes=("$staging" "$config")
for name in Orbiter.log Device.dat keymap.cfg; do
    windows_path "$copy" "$name"
    orbiter_writes+=("$found")
done
for file in "${orbiter_writes[@]}"; do
    [ ! -f "$file" ] || chmod u+w "$file" || fail "could not make $file writable; nothing was run."
done
windows_path "$copy" Modules Plugin
mkdir -p "$found" && cp -f "$new_dll" "$found/Skarvel.dll" &&
    "$source_dir/scripts/tick-module.sh" "$config" Skarvel ||
    fail "could not install and tick the module in the copy $copy (above); nothing was run."
# What Orbiter and the run write is told from this second inventory, of the copy as Orbiter
# finds it.
bash "$here/folder-snapshot.sh" take "$copy" "$run_dir/inventory-of-the-copy" ||
    fail "could not take the inventory of the copy $copy (above); nothing was run."

# One run at a time per Wine prefix: runs sharing a prefix share its wineserver, and a run that
# ends its session would end the other run's Orbiter too. The lock is held on the prefix folder
# by this script alone (fd 8 is closed for everything it starts from here on), so that a run
# killed outright never blocks the next.
if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX=$own_prefix
fi
mkdir -p "$WINEPREFIX"
exec 8<"$WINEPREFIX"
if ! flock -n 8; then
    echo "== Another run is using the Wine prefix $WINEPREFIX; waiting for it to end (Ctrl-C stops)"
    # Polled, so that a signal is handled at once.
    until flock -n 8; do
        sleep 0.5
    done
    end_what_killed_runs_left "$runs"
fi
use_wine_loader "$loader" "$work"
if [ "$show" = 0 ]; then
    start_private_display 8<&- >/dev/null || exit 1
    record_process "$processes" "$private_display_pid" alone Xvfb
fi
# This script's own prefix is set up as the tests' are, and its session is this run's. A prefix
# of the user's is used as it is.
if [ "$WINEPREFIX" = "$own_prefix" ]; then
    end_stale_session 8<&-
    set_up_wine_prefix "$arch" "$WINEPREFIX" 8<&- || exit 1
    owns_session=1
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

echo "== Running orbiter.exe $(windows_command_line "${command_line[@]}") in the copy (at most $seconds s)"
name_scenario
start_watch "$work/watched"
screenshot=${screenshot:-$run_dir/screenshot.png}
mkdir -p "$(dirname "$screenshot")"
rm -f "$screenshot"
usage_seen=0
started=$(date +%s%N)
(cd "$copy" && exec wine "$(basename "$orbiter")" "${command_line[@]}") >"$run_dir/orbiter.out" 2>&1 8<&- &
orbiter_pid=$!
record_process "$processes" "$orbiter_pid" alone "$(basename "$orbiter")"
next_picture=0
stopped=0
while kill -0 "$orbiter_pid" 2>/dev/null; do
    now=$(date +%s%N)
    if [ "$usage_seen" = 0 ]; then
        windows=$(xwininfo -root -tree 2>/dev/null) || true
        [[ $windows != *'"Skarvel Usage"'* ]] || usage_seen=1
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
windows_path "$copy" Orbiter.log
module_line=$(grep -a -m1 'Module Skarvel\.dll ' "$found" 2>/dev/null | tr -d '\r') || true
failed_line=$(grep -a -i -m1 'Failed loading module .*Skarvel\.dll' "$found" 2>/dev/null | tr -d '\r') || true
conclude

echo "== Report"
echo "   copy:       $copy ($(du -sk "$copy" | awk '{ printf "%.1f MB", $1 * 1024 / 1e6 }') on disk;" \
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
changes=$(bash "$here/folder-snapshot.sh" compare "$copy" "$run_dir/inventory-of-the-copy" 8<&-) ||
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

# Installing for real is the user's step, in their own folder.
if [ "$drove" = 1 ]; then
    echo "== To install the module for real, unpack the zip into your folder, keeping its folders:"
    printf '       unzip %q -d %q\n' "$zip_file" "$folder"
    echo "   then start Orbiter there and tick Skarvel in the launchpad's Modules tab."
elif [[ $verdict == "ended at start"* ]]; then
    echo "== Do not install the module in this Orbiter: it ends this Orbiter at start, so with the"
    echo "   module ticked, this Orbiter would no longer start."
else
    echo "== This Orbiter did not load the module, so installed for real it would not run either."
fi
exit 0
