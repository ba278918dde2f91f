#!/usr/bin/env bash
# Runs the trial (scripts/try-in-orbiter.sh, the Python program in trial/) against the Win32 test
# host laid out as an Orbiter folder (the sample scenarios, an Orbiter.cfg that ticks nothing, a
# texture, the host as orbiter.exe), one case a line: the exit status and the lines the report or
# refusal must hold. Afterwards the folder, and the place its links lead to, are checked against a
# listing of their own (type, mode, size and time to the nanosecond of every entry, and a
# checksum of every file): as before, or changed in exactly the paths the case names. Orbiter's
# command line is given as a user types it. Run it inside tests/wine/with-wine.sh, whose display
# and Wine prefix it uses; the cases of a run killed outright use the trial's own prefix and
# display, and the read-only folder is tried by nobody (when run as root) in a prefix of its own
# beside with-wine.sh's. What needs no Wine (usage, refusals before a run) is in tests/trial.
#
#   tests/wine/check-try-in-orbiter.sh i686|x64 HOST_EXE ZIP
#
# SKARVEL_TRY_CASES, a blank-separated list of case names, runs only those.
set -euo pipefail
if [ $# -ne 3 ]; then
    echo "usage: $0 i686|x64 HOST_EXE ZIP" >&2
    exit 2
fi
arch=$1
host=$(realpath "$2")
zip_file=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
try=$source_dir/scripts/try-in-orbiter.sh
export SKARVEL_TRY_ARCH=$arch
own_prefix=$source_dir/build/try-in-orbiter/wineprefix
source "$here/../lib/harness.sh"
[ "$arch" = i686 ] || own_prefix+=-$arch

scratch=$(mktemp -d)
small=$scratch/small
trap 'umount "$small" 2>/dev/null || true; rm -rf "$scratch"' EXIT
# The user's files: the Orbiter folder, and a folder outside it that links may lead to.
user=$scratch/user
folder=$user/Orbiter
runs=$scratch/runs

# Every entry under the user's files, a line each: "PATH<TAB>TYPE MODE SIZE TIME", and
# "PATH<TAB>sha256 SUM" for each file.
listing() {
    (cd "$user" && find . -printf '%p\t%y %m %s %T@\n' &&
        find . -type f -exec sha256sum {} + | sed -E 's/^([0-9a-f]{64})  (.*)$/\2\tsha256 \1/') | sort
}

# Lays out the folder: `started` (Orbiter has run there before), `never-started` (without the
# files Orbiter writes at its first start), `linked` (Scenarios and Orbiter.cfg are links to a
# folder outside), `linked-textures` (Textures is a link to a folder outside, and a folder in it
# a link to another), `fifo` (a named pipe among the scenarios), `many` (2,000 more scenarios),
# `same-bytes` (a scenario's backup beside it), `large-link` (a link to 16 MB outside),
# `read-only` (every folder mode 555, every file 444).
lay_out() {
    rm -rf "$user"
    mkdir -p "$user/outside"
    lay_out_orbiter "$folder"
    printf '; a setting Orbiter keeps\r\nWindowed = TRUE\r\n' >"$folder/Orbiter.cfg"
    cp "$host" "$folder/orbiter.exe"
    mkdir -p "$folder/Textures"
    printf 'a texture\n' >"$folder/Textures/Earth.dds"
    [ "$1" = never-started ] || printf 'a device\n' >"$folder/Device.dat"
    [ "$1" = never-started ] || printf '; keys\n' >"$folder/keymap.cfg"
    case $1 in
    linked)
        mv "$folder/Scenarios" "$folder/Orbiter.cfg" "$user/outside/"
        ln -s "$user/outside/Scenarios" "$folder/Scenarios"
        ln -s ../outside/Orbiter.cfg "$folder/Orbiter.cfg"
        ;;
    linked-textures)
        mv "$folder/Textures" "$user/outside/Textures"
        ln -s "$user/outside/Textures" "$folder/Textures"
        mkdir "$user/outside/Planets" && printf 'a moon\n' >"$user/outside/Planets/Moon.dds"
        ln -s ../Planets "$user/outside/Textures/Planets"
        ;;
    fifo) mkfifo "$folder/Scenarios/pipe.scn" ;;
    many)
        mkdir "$folder/Scenarios/Many more flights"
        for i in $(seq -w 2000); do
            echo "a flight" >"$folder/Scenarios/Many more flights/Flight number $i.scn"
        done
        ;;
    same-bytes) cp "$folder/Scenarios/Demo Flight.scn" "$folder/Scenarios/Backup of Demo Flight.scn" ;;
    large-link)
        mkdir "$user/outside/big" && head -c 16000000 /dev/zero >"$user/outside/big/data"
        ln -s ../outside/big "$folder/Big"
        ;;
    read-only) chmod -R a-w "$folder" ;;
    esac
}

selected() {
    [ -z "${SKARVEL_TRY_CASES:-}" ] || [[ " $SKARVEL_TRY_CASES " == *" $1 "* ]]
}

# The run folder the script names in OUTPUT.
run_folder() {
    sed -n 's/^== Run folder: //p' <<<"$1"
}

# The processes still running from this test's scratch folder (named in their command line, or
# their working folder), and those of the records given (a run folder's "processes" file, "PID
# START HOW MARK") that still run, a line each.
left_running() {
    local proc line pid start how mark stat
    for proc in /proc/[0-9]*; do
        [ "${proc#/proc/}" != "$BASHPID" ] || continue
        line=$({ tr '\0' ' ' <"$proc/cmdline"; } 2>/dev/null) || continue
        if [[ $line == *"$scratch"* || $(readlink "$proc/cwd" 2>/dev/null) == "$scratch"* ]]; then
            echo "${proc#/proc/} $line"
        fi
    done
    while read -r pid start how mark; do
        [ -n "$pid" ] && stat=$(cat "/proc/$pid/stat" 2>/dev/null) || continue
        read -r -a stat <<<"${stat##*) }"
        [ "${stat[0]}" = Z ] || [ "${stat[19]}" != "$start" ] || echo "$pid $mark ($how)"
    done <<<"${1:-}"
}

# check NAME LAYOUT STATUS TEXT [TRY-ARGUMENT...]: the script ends with STATUS, prints each line
# of TEXT, and leaves the user's files as it found them. CHANGED, when set, names the paths under
# the user's files (a line each) that are to differ; IN_RUN a file the run folder must hold; AS,
# the command the script runs under (a user, its environment); RUNS, where the run folders go.
# What the script printed is left in output.
check() {
    local name=$1 layout=$2 want_status=$3 want_text=$4 got=0 before as=()
    shift 4
    selected "$name" || return 0
    lay_out "$layout"
    before=$(listing)
    [ -z "${AS:-}" ] || read -r -a as <<<"$AS"
    # A bound: reading a named pipe, for one, would wait for ever.
    output=$("${as[@]}" timeout 120 bash "$try" --show --runs "${RUNS:-$runs}" --zip "$zip_file" "$folder" "$@" 2>&1) ||
        got=$?
    report "$name" "$want_status" "$want_text" "$got" "$output" "$before"
}

# report NAME STATUS TEXT GOT OUTPUT BEFORE [LEFT]: compares, and prints the case. LEFT names
# processes that should have ended.
report() {
    local problems=() changes changed run
    [ "$4" = "$2" ] || problems+=("ended with status $4, not $2")
    local line
    while IFS= read -r line; do
        [[ "$5" == *"$line"* ]] || problems+=("did not print: $line")
    done <<<"$3"
    changes=$(diff <(printf '%s\n' "$6") <(listing) | grep '^[<>]' || true)
    changed=$(printf '%s\n' "$changes" | sed -n 's|^[<>] \./\([^\t]*\)\t.*|\1|p; s|^[<>] \.\t.*|.|p' | sort -u)
    [ "$changed" = "${CHANGED:-}" ] || problems+=("the user's files are not as before:"$'\n'"$changes")
    run=$(run_folder "$5")
    if [ -n "${IN_RUN:-}" ] && ! [ -f "$run/$IN_RUN" ]; then
        problems+=("the run folder ${run:-(none named)} holds no $IN_RUN")
    fi
    [ -z "${7:-}" ] || problems+=("processes of the run still running:"$'\n'"$7")
    if [ ${#problems[@]} -eq 0 ]; then
        ok "$1: ${3//$'\n'/; }"
    else
        fail "$1" "${problems[@]}" "try-in-orbiter.sh printed:" "$(printf '%s\n' "$5" | sed 's/^/  /')"
    fi
}

# A whole session with -e: the host saves its final state over the staged file a second after the
# start, and the verdict still names the scenario staged. A plug-in's new scenario stays in the
# run folder, named.
IN_RUN="Orbiter/Scenarios/My flight.scn" check road started 0 $'scenario:   staged Scenarios\\Demo Flight.scn as Scenarios\\(Current state).scn
session:    ended and saved its state
verdict:    launched "Scenarios\\Demo Flight.scn" paused
== Written during the run: Orbiter.cfg; Orbiter.log; Scenarios/(Current state).scn; Scenarios/My flight.scn
was only read: it is as it was before the run
unzip '"$zip_file -d $folder" \
    -- --write 'Scenarios\My flight.scn' -- -p -e 'Scenarios\Demo Flight'
# Orbiter writes Device.dat and keymap.cfg at its first start: in the copy.
check never-started never-started 0 $'verdict:    launched "Scenarios\\Demo.scn" running
== Written during the run: Device.dat; Orbiter.cfg; Orbiter.log; Scenarios/(Current state).scn; keymap.cfg' \
    -- -x 'Scenarios\Demo'
check usage-until-time-limit started 0 $'orbiter:    still running after 4 s; stopped\nverdict:    usage dialog shown' \
    --seconds 4 -- --keep-open -- -e Nowhere
check launchpad-it-cannot-drive started 0 $'verdict:    ended at start: this launchpad is not Orbiter 2006\'s
== Do not install the module in this Orbiter' -- --without 1000 -- -p
# Links lead outside the folder: the copy holds real files, and what Orbiter writes stays there.
check links-outside linked 0 "verdict:    launched \"Scenarios\\Demo.scn\" paused" -- -p 'Scenarios\Demo'
check named-pipe fifo 0 $'Scenarios/pipe.scn (named pipe)\nverdict:    launched "Scenarios\\Demo.scn" running' \
    -- -x 'Scenarios\Demo'
# Writes through the links to the asset folders, and through a link inside one, reach the user's
# files: named, never undone.
CHANGED=outside/Planets/Moon.dds check asset-link-write linked-textures 3 $'== Changed in '"$folder"$' during the run:
   Textures/Planets/Moon.dds: changed (size 7 -> 34, modified)' -- --write 'Textures\Planets\Moon.dds' -- -x 'Scenarios\Demo'
# So many scenarios that their sorted list is longer than a pipe holds.
check many-scenarios many 0 "verdict:    launched \"Scenarios\\Demo.scn\" running" -- -x 'Scenarios\Demo'
# Another scenario with the same bytes sorts first; the verdict names the one on the command line.
check same-bytes same-bytes 0 "verdict:    launched \"Scenarios\\Demo Flight.scn\" running" -- -x 'Scenarios\Demo Flight'
# The command line names the staging file itself, in another spelling: launched as it stands.
check current-state started 0 $'scenario:   not staged: the command line names Scenarios\\(Current state).scn itself
verdict:    launched "Scenarios\\(Current state).scn" as it stood, paused' \
    -- -p -e '.\Scenarios\..\SCENARIOS\(current state)'
# A link to more than the room where the run folders go: refused before anything is walked or
# run.
if selected large-link; then
    mkdir -p "$small"
    if mount -t tmpfs -o size=8m tmpfs "$small" 2>/dev/null; then
        RUNS=$small/runs check large-link large-link 1 $'The links it follows that lead to the most: Big -> ../outside/big (more than
nothing was run' -- -x 'Scenarios\Demo'
        [[ $output != *"== Running"* ]] || fail "large-link: it ran Orbiter"
        umount "$small" || true
    else
        echo "skipped: large-link: no tmpfs can be mounted here (not root?), so it was not run"
    fi
fi
# A folder that is read-only to the user running the script, as an installation of another
# account is: tried by nobody, in a Wine prefix of nobody's own.
if [ "$(id -u)" = 0 ]; then
    chmod 755 "$scratch"
    prefix=$WINEPREFIX-nobody
    mkdir -p "$prefix" "$scratch/nobody/runs"
    chown nobody:nogroup "$prefix" "$scratch/nobody" "$scratch/nobody/runs"
    AS="setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME=$scratch/nobody WINEPREFIX=$prefix" \
        RUNS=$scratch/nobody/runs check read-only read-only 0 "verdict:    launched \"Scenarios\\Demo.scn\" running" \
        -- -x 'Scenarios\Demo'
    # The script leaves a prefix of the user's own to its session, which ends on its own.
    timeout 60 setpriv --reuid=nobody --regid=nogroup --clear-groups env WINEPREFIX="$prefix" wineserver -w || true
else
    check read-only read-only 0 "verdict:    launched \"Scenarios\\Demo.scn\" running" -- -x 'Scenarios\Demo'
fi

# Output into a pipe that closes after three lines: the script runs to its end all the same, with
# its status, its report whole in the run folder, and nothing of it left running.
if selected pipe-closed; then
    lay_out started
    before=$(listing)
    timeout 120 bash "$try" --show --runs "$scratch/pipe-closed" --zip "$zip_file" "$folder" \
        -- -x 'Scenarios\Demo' 2>&1 | head -n 3 >/dev/null && got=0 || got=${PIPESTATUS[0]}
    report=$(cat "$scratch"/pipe-closed/*/report.txt 2>/dev/null) || report="(no report.txt)"
    report pipe-closed 0 $'verdict:    launched "Scenarios\\Demo.scn" running
was only read: it is as it was before the run' "$got" "$report" "$before" "$(left_running)"
fi

# Starts the script in a process group of its own while Orbiter runs, as a terminal does (job
# control gives the script a group of its own and leaves the signals to it), and waits until
# Orbiter has started in the run folder (in the script's own prefix, after setting it up on its
# first use), or, when UNTIL is set, until the script has printed a line that begins with it.
# Sets try_pid and out. TRY, when set, is the command that runs the script. False, with what the
# script printed, when that did not come within two minutes (the script is then stopped).
start_and_wait_for_orbiter() {
    local name=$1
    out=$scratch/$1.out
    shift
    set -m
    ${TRY:-bash "$try" --show} --runs "$runs" --zip "$zip_file" "$folder" "$@" >"$out" 2>&1 &
    try_pid=$!
    set +m
    for _ in $(seq 1200); do
        if [ -n "${UNTIL:-}" ]; then
            grep -q "^$UNTIL" "$out" && return 0
        else
            grep -q "^== Running orbiter.exe" "$out" &&
                [ -s "$(run_folder "$(cat "$out")")/Orbiter/Orbiter.log" ] && return 0
        fi
        sleep 0.1
    done
    kill -TERM -- "-$try_pid" 2>/dev/null || true
    fail "$name: ${UNTIL:-Orbiter} did not come within two minutes; the script printed:" \
        "$(sed 's/^/  /' "$out")"
    return 1
}

# Stopped while Orbiter runs, as Ctrl-C, `kill` or a closed terminal does it: the signal to the
# script's whole process group. The script ends as that signal asks, and says the folder is as it
# was, the run folder kept.
for signal in INT:130 TERM:143 HUP:129; do
    name=${signal%:*}
    selected "$name" || continue
    lay_out started
    before=$(listing)
    start_and_wait_for_orbiter "$name" -- --keep-open -- -p 'Scenarios\Demo' || continue
    sleep 1
    kill "-$name" -- "-$try_pid"
    got=0
    # Quietly: bash would report the job it saw killed.
    { wait "$try_pid" || got=$?; } 2>/dev/null
    text="== Interrupted ($name)"$'\n'"== $folder was only read: it is as it was before the run"
    IN_RUN=Orbiter/Orbiter.log report "$name" "${signal#*:}" "$text" "$got" "$(cat "$out")" "$before"
done

# Killed outright (KILL to the script alone) while Orbiter runs in the script's own prefix: its
# display, watcher, Orbiter and Wine session live on, and a Windows program that no run recorded
# (as a run of an older version of this script would leave) keeps that session alive. A second
# run at once ends them all, runs in a session of its own to a true verdict, and when it ends
# nothing of either run still runs.
if selected KILL; then
    lay_out started
    before=$(listing)
    TRY="env -u WINEPREFIX bash $try" start_and_wait_for_orbiter KILL -- --keep-open -- -p 'Scenarios\Demo' ||
        finish
    if ! kill -KILL "$try_pid" 2>/dev/null; then
        # Said, not left to set -e: what the run printed tells why it ended before the KILL.
        fail "KILL: the first run ended before it could be killed; it printed:" "$(sed 's/^/  /' "$out")"
        finish
    fi
    { wait "$try_pid" || true; } 2>/dev/null
    first=$(cat "$(run_folder "$(cat "$out")")/processes" 2>/dev/null) || first="(no processes file)"
    mkfifo "$scratch/hold"
    WINEPREFIX=$own_prefix wine cmd.exe /k <"$scratch/hold" >/dev/null 2>&1 &
    stray=$!
    exec 7>"$scratch/hold"
    for _ in $(seq 100); do
        [[ $({ tr '\0' ' ' <"/proc/$stray/cmdline"; } 2>/dev/null) != *cmd.exe* ]] || break
        sleep 0.1
    done
    output=$(timeout 120 env -u WINEPREFIX bash "$try" --runs "$runs" --zip "$zip_file" "$folder" \
        -- -x 'Scenarios\Demo' 2>&1 7>&-) && got=0 || got=$?
    second=$(cat "$(run_folder "$output")/processes.ended" 2>/dev/null) || second="(no processes.ended file)"
    left=$(left_running "$first"$'\n'"$second")
    if WINEPREFIX=$own_prefix wineserver -k0 2>/dev/null; then
        left+=$'\n'"the Wine session of $own_prefix"
    fi
    if kill -0 "$stray" 2>/dev/null; then
        left+=$'\n'"cmd.exe, a program of that session"
        kill "$stray"
    fi
    exec 7>&-
    report KILL 0 $'== A run killed outright left these running; ended:
verdict:    launched "Scenarios\\Demo.scn" running
was only read: it is as it was before the run' "$got" "$output" "$before" "$left"
fi

# Two runs at once on one folder and one Wine prefix, the test's own: the second waits for the
# first, which is interrupted only once the second has said so, and then runs to its own time
# limit.
if selected two-at-once; then
    lay_out started
    before=$(listing)
    if start_and_wait_for_orbiter first -- --keep-open -- -p 'Scenarios\Demo'; then
        first_pid=$try_pid first_out=$out
        UNTIL="== Another run is using the Wine prefix" start_and_wait_for_orbiter second \
            --seconds 3 -- --keep-open -- -p 'Scenarios\Demo' || true
        kill -INT -- "-$first_pid"
        got=0
        { wait "$first_pid" || got=$?; } 2>/dev/null
        report two-at-once/first 130 "== Interrupted (INT)" "$got" "$(cat "$first_out")" "$before"
        got=0
        wait "$try_pid" || got=$?
        report two-at-once/second 0 $'== Another run is using the Wine prefix\norbiter:    still running after 3 s; stopped' \
            "$got" "$(cat "$out")" "$before"
    fi
fi

finish
