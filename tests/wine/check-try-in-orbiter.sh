#!/usr/bin/env bash
# Runs scripts/try-in-orbiter.sh against the Win32 test host laid out as an Orbiter folder (the
# sample scenarios, an Orbiter.cfg that ticks nothing, a texture, the host as orbiter.exe), one
# case a line: the exit status and the lines the report or refusal must hold. Afterwards the
# folder, and the place its links lead to, are checked against a listing of their own (type,
# mode, size and time to the nanosecond of every entry, and a checksum of every file): as before,
# or changed in exactly the paths the case names. Orbiter's command line is given as a user types
# it. Run it inside tests/wine/with-wine.sh, whose display and Wine prefix it uses.
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

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# The user's files: the Orbiter folder, and a folder outside it that links may lead to.
user=$scratch/user
folder=$user/Orbiter
runs=$scratch/runs
status=0

# Every entry under the user's files, a line each: "PATH<TAB>TYPE MODE SIZE TIME", and
# "PATH<TAB>sha256 SUM" for each file.
listing() {
    (cd "$user" && find . -printf '%p\t%y %m %s %T@\n' &&
        find . -type f -exec sha256sum {} + | sed -E 's/^([0-9a-f]{64})  (.*)$/\2\tsha256 \1/') | sort
}

# Lays out the folder: `started` (Orbiter has run there before), `never-started` (without the
# files Orbiter writes at its first start), `linked` (Scenarios and Orbiter.cfg are links to a
# folder outside), `fifo` (a named pipe among the scenarios), or with one fault: `no-exe`,
# `text-exe`, `other-dll`.
lay_out() {
    rm -rf "$user"
    mkdir -p "$user/outside"
    cp -r "$source_dir/sample/Orbiter" "$folder"
    printf '; a setting Orbiter keeps\r\nWindowed = TRUE\r\n' >"$folder/Orbiter.cfg"
    cp "$host" "$folder/orbiter.exe"
    mkdir -p "$folder/Textures"
    printf 'a texture\n' >"$folder/Textures/Earth.dds"
    [ "$1" = never-started ] || printf 'a device\n' >"$folder/Device.dat"
    [ "$1" = never-started ] || printf '; keys\n' >"$folder/keymap.cfg"
    case $1 in
    no-exe) rm "$folder/orbiter.exe" ;;
    text-exe) echo "not a program" >"$folder/orbiter.exe" ;;
    other-dll) mkdir -p "$folder/Modules/Plugin" && echo "another build" >"$folder/Modules/Plugin/Skarvel.dll" ;;
    linked)
        mv "$folder/Scenarios" "$folder/Orbiter.cfg" "$user/outside/"
        ln -s "$user/outside/Scenarios" "$folder/Scenarios"
        ln -s ../outside/Orbiter.cfg "$folder/Orbiter.cfg"
        ;;
    fifo) mkfifo "$folder/Scenarios/pipe.scn" ;;
    esac
}

selected() {
    [ -z "${SKARVEL_TRY_CASES:-}" ] || [[ " $SKARVEL_TRY_CASES " == *" $1 "* ]]
}

# The run folder the script names in OUTPUT.
run_folder() {
    sed -n 's/^== Run folder: //p' <<<"$1"
}

# check NAME LAYOUT STATUS TEXT [TRY-ARGUMENT...]: the script ends with STATUS, prints each line
# of TEXT, and leaves the user's files as it found them. CHANGED, when set, names the paths under
# the user's files (a line each) that are to differ; IN_RUN a file the run folder must hold. What
# the script printed is left in output.
check() {
    local name=$1 layout=$2 want_status=$3 want_text=$4 got=0 before
    shift 4
    selected "$name" || return 0
    lay_out "$layout"
    before=$(listing)
    # A bound: reading a named pipe, for one, would wait for ever.
    output=$(timeout 120 bash "$try" --show --runs "$runs" --zip "$zip_file" "$folder" "$@" 2>&1) ||
        got=$?
    report "$name" "$want_status" "$want_text" "$got" "$output" "$before"
}

# report NAME STATUS TEXT GOT OUTPUT BEFORE: compares, and prints the case.
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
    if [ ${#problems[@]} -eq 0 ]; then
        echo "ok: $1: ${3//$'\n'/; }"
    else
        echo "FAIL: $1"
        printf '    %s\n' "${problems[@]}"
        echo "    try-in-orbiter.sh printed:"
        printf '%s\n' "$5" | sed 's/^/      /'
        status=1
    fi
}

# A whole session with -e: the host saves its final state over the staged file a second after the
# start, and the verdict still names the scenario staged. A plug-in's new scenario stays in the
# run folder, named.
IN_RUN="Orbiter/Scenarios/My flight.scn" check road started 0 $'scenario:   staged Scenarios\\Demo Flight.scn as Scenarios\\(Current state).scn
session:    ended and saved its state
verdict:    launched "Scenarios\\Demo Flight.scn" paused
== Written during the run: Orbiter.cfg; Orbiter.log; Scenarios/(Current state).scn; Scenarios/My flight.scn
was only read: it is as it was before the run' \
    -- --write 'Scenarios\My flight.scn' -- -p -e 'Scenarios\Demo Flight'
# Orbiter writes Device.dat and keymap.cfg at its first start: in the copy.
check never-started never-started 0 $'verdict:    launched "Scenarios\\Demo.scn" running
== Written during the run: Device.dat; Orbiter.cfg; Orbiter.log; Scenarios/(Current state).scn; keymap.cfg' \
    -- -x 'Scenarios\Demo'
check usage-until-time-limit started 0 $'orbiter:    still running after 4 s; stopped\nverdict:    usage dialog shown' \
    --seconds 4 -- --keep-open -- -e Nowhere
check launchpad-it-cannot-drive started 0 "verdict:    ended at start: this launchpad is not Orbiter 2006's" \
    -- --without 1000 -- -p
check bad-option started 2 $'error: unknown option --bogus.\n       run: bash scripts/try-in-orbiter.sh --help' --bogus
check option-without-value started 2 "error: --seconds needs a value." --seconds
check no-orbiter-exe no-exe 1 "holds no orbiter.exe, so it is not Orbiter's folder"
check orbiter-exe-not-a-program text-exe 1 "orbiter.exe is not a Windows program"
check keep-over-other-dll other-dll 1 "--replace installs this one over it" --keep
# Links lead outside the folder: the copy holds real files, and what Orbiter writes stays there.
check links-outside linked 0 "verdict:    launched \"Scenarios\\Demo.scn\" paused" -- -p 'Scenarios\Demo'
check named-pipe fifo 0 "verdict:    launched \"Scenarios\\Demo.scn\" running" -- -x 'Scenarios\Demo'
# Writes through the links to the asset folders reach the user's folder: named, never undone.
CHANGED=Orbiter/Textures/Earth.dds check writes-under-textures started 3 $'== Changed in '"$folder"$' during the run:
   Textures/Earth.dds: changed (size 10 -> 37, modified)' -- --write 'Textures\Earth.dds' -- -x 'Scenarios\Demo'
# --keep writes the module into the user's folder after a run that drove the launchpad, and keeps
# what it replaces; it refuses after a run that ended at start.
CHANGED=$'Orbiter\nOrbiter/Modules\nOrbiter/Modules/Plugin\nOrbiter/Modules/Plugin/Skarvel.dll\nOrbiter/Orbiter.cfg' \
    IN_RUN=kept/Orbiter.cfg check keep never-started 0 \
    "== --keep: Modules/Plugin/Skarvel.dll is installed in $folder and ticked in Orbiter.cfg" \
    --keep -- -x 'Scenarios\Demo'
if selected keep && ! tr -d '\r' <"$folder/Orbiter.cfg" | grep -qx '  Skarvel'; then
    echo "FAIL: keep: Orbiter.cfg ticks no Skarvel"
    status=1
fi
CHANGED=$'Orbiter/Modules/Plugin/Skarvel.dll\nOrbiter/Orbiter.cfg' IN_RUN=kept/Skarvel.dll \
    check keep-replace other-dll 0 "What it replaced is kept as it was: " --keep --replace -- -x 'Scenarios\Demo'
if selected keep-replace; then
    kept=$(run_folder "$output")/kept
    if ! cmp -s "$kept/Skarvel.dll" <(echo "another build") ||
        ! cmp -s "$kept/Orbiter.cfg" <(printf '; a setting Orbiter keeps\r\nWindowed = TRUE\r\n') ||
        ! unzip -p "$zip_file" Modules/Plugin/Skarvel.dll | cmp -s - "$folder/Modules/Plugin/Skarvel.dll"; then
        echo "FAIL: keep-replace: the old DLL and Orbiter.cfg are not in $kept, or the new DLL is not installed"
        status=1
    fi
fi
check keep-after-ended-at-start started 1 "the module ended Orbiter at start" --keep -- --without 1088 -- -p

# Starts the script in a process group of its own while Orbiter runs, as a terminal does (job
# control gives the script a group of its own and leaves the signals to it), and waits until
# Orbiter has started in the run folder. Sets try_pid and out.
start_and_wait_for_orbiter() {
    out=$scratch/$1.out
    shift
    set -m
    bash "$try" --show --runs "$runs" --zip "$zip_file" "$folder" "$@" >"$out" 2>&1 &
    try_pid=$!
    set +m
    for _ in $(seq 150); do
        grep -q "^== Running orbiter.exe" "$out" && [ -s "$(run_folder "$(cat "$out")")/Orbiter/Orbiter.log" ] && break
        sleep 0.1
    done
}

# Stopped while Orbiter runs, as Ctrl-C, `kill` or a closed terminal does it: the signal to the
# script's whole process group. The script ends as that signal asks, and says the folder is as it
# was; killed outright, it says nothing, and the folder is as it was all the same, the run folder
# kept.
for signal in INT:130 TERM:143 HUP:129 KILL:137; do
    name=${signal%:*}
    selected "$name" || continue
    lay_out started
    before=$(listing)
    start_and_wait_for_orbiter "$name" -- --keep-open -- -p 'Scenarios\Demo'
    sleep 1
    kill "-$name" -- "-$try_pid"
    got=0
    # Quietly: bash would report the job it saw killed.
    { wait "$try_pid" || got=$?; } 2>/dev/null
    text="== Interrupted ($name)"$'\n'"== $folder was only read: it is as it was before the run"
    [ "$name" != KILL ] || text="== Running orbiter.exe"
    IN_RUN=Orbiter/Orbiter.log report "$name" "${signal#*:}" "$text" "$got" "$(cat "$out")" "$before"
done

# Two runs at once on one folder and one Wine prefix. Each run owns its Wine session here, as a
# user's runs do, so the test's own session is ended first; a run that ends its session while the
# other's Orbiter runs would stop that Orbiter early. The second waits for the first, and both are
# stopped by their own time limit.
if selected two-at-once; then
    wineserver -k
    lay_out started
    before=$(listing)
    start_and_wait_for_orbiter first --seconds 3 -- --keep-open -- -p 'Scenarios\Demo'
    first_pid=$try_pid first_out=$out
    start_and_wait_for_orbiter second --seconds 3 -- --keep-open -- -p 'Scenarios\Demo'
    got=0
    wait "$first_pid" || got=$?
    report two-at-once/first 0 "orbiter:    still running after 3 s; stopped" "$got" "$(cat "$first_out")" "$before"
    got=0
    wait "$try_pid" || got=$?
    report two-at-once/second 0 $'== Another run is using the Wine prefix\norbiter:    still running after 3 s; stopped' \
        "$got" "$(cat "$out")" "$before"
fi

exit $status
