#!/usr/bin/env bash
# Runs scripts/try-in-orbiter.sh against the Win32 test host laid out as an Orbiter folder (the
# sample scenarios, an Orbiter.cfg that ticks nothing, a texture, the host as orbiter.exe), one
# case a line: the exit status and the lines the report or refusal must hold, and afterwards
# every file and folder byte for byte as before. Orbiter's command line is given as a user types
# it. Run it inside tests/wine/with-wine.sh, whose display it uses.
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
folder=$scratch/Orbiter
status=0

# A checksum of every file, and every folder, under the Orbiter folder.
inventory() {
    (cd "$folder" && find . -type d -printf 'folder %p\n' && find . -type f -exec sha256sum {} +) | sort
}

# Lays out the folder: `started` (Orbiter has run there before), `never-started` (without the
# files Orbiter writes at its first start), or with one fault: `no-exe`, `text-exe`, `other-dll`.
lay_out() {
    rm -rf "$folder"
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
    esac
}

selected() {
    [ -z "${SKARVEL_TRY_CASES:-}" ] || [[ " $SKARVEL_TRY_CASES " == *" $1 "* ]]
}

# check NAME LAYOUT STATUS TEXT [TRY-ARGUMENT...]: the script ends with STATUS, prints each line
# of TEXT, and leaves the folder as it found it.
check() {
    local name=$1 layout=$2 want_status=$3 want_text=$4 got=0 output before
    shift 4
    selected "$name" || return 0
    lay_out "$layout"
    before=$(inventory)
    output=$(bash "$try" --show --zip "$zip_file" --screenshot "$scratch/$name.png" "$folder" "$@" 2>&1) ||
        got=$?
    report "$name" "$want_status" "$want_text" "$got" "$output" "$before"
}

# report NAME STATUS TEXT GOT OUTPUT BEFORE [CHANGED]: compares, and prints the case. CHANGED
# names, a line each, the files and folders that are to differ from before; none by default.
report() {
    local problems=() changes changed
    [ "$4" = "$2" ] || problems+=("ended with status $4, not $2")
    local line
    while IFS= read -r line; do
        [[ "$5" == *"$line"* ]] || problems+=("did not print: $line")
    done <<<"$3"
    changes=$(diff <(printf '%s\n' "$6") <(inventory) | grep '^[<>]' || true)
    changed=$(printf '%s\n' "$changes" | sed -n 's|^[<>] [^ ]* \{1,2\}\./||p' | sort -u)
    [ "$changed" = "${7:-}" ] || problems+=("the folder is not as before:"$'\n'"$changes")
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
# start, and the verdict still names the scenario staged.
check road started 0 $'scenario:   staged Scenarios\\Demo Flight.scn as Scenarios\\(Current state).scn
session:    ended and saved its state
verdict:    launched "Scenarios\\Demo Flight.scn" paused' \
    -- -p -e 'Scenarios\Demo Flight'
# Orbiter writes Device.dat and keymap.cfg at its first start; they go again.
check never-started never-started 0 $'verdict:    launched "Scenarios\\Demo.scn" running
== Removed, as they were not there: Device.dat; Modules/ (folder, 2 entries); Orbiter.log; keymap.cfg' \
    -- -x 'Scenarios\Demo'
check usage-until-time-limit started 0 $'orbiter:    still running after 4 s; stopped\nverdict:    usage dialog shown' \
    --seconds 4 -- --keep-open -- -e Nowhere
check launchpad-it-cannot-drive started 0 "verdict:    ended at start: this launchpad is not Orbiter 2006's" \
    -- --without 1000 -- -p
check no-orbiter-exe no-exe 1 "holds no orbiter.exe, so it is not Orbiter's folder"
check orbiter-exe-not-a-program text-exe 1 "orbiter.exe is not a Windows program"
check other-dll-without-replace other-dll 1 "--replace installs this one for the run"

# A file outside what the script backs up, changed during the run: named, and status 3.
if selected cannot-put-back; then
    lay_out started
    before=$(inventory)
    got=0
    output=$(bash "$try" --show --zip "$zip_file" --screenshot "$scratch/cannot-put-back.png" "$folder" \
        -- --write 'Textures\Earth.dds' -- -x 'Scenarios\Demo' 2>&1) || got=$?
    report cannot-put-back 3 $'== Not as it was:\n   Textures/Earth.dds: changed' "$got" "$output" \
        "$before" Textures/Earth.dds
fi

# --keep: all is put back but the module, installed and ticked.
if selected keep; then
    lay_out never-started
    before=$(inventory)
    got=0
    output=$(bash "$try" --show --keep --zip "$zip_file" --screenshot "$scratch/keep.png" "$folder" \
        -- -x 'Scenarios\Demo' 2>&1) || got=$?
    report keep 0 "== --keep: Skarvel.dll stays in Modules/Plugin, ticked in Orbiter.cfg" "$got" \
        "$output" "$before" $'Modules\nModules/Plugin\nModules/Plugin/Skarvel.dll\nOrbiter.cfg'
    if ! tr -d '\r' <"$folder/Orbiter.cfg" | grep -qx '  Skarvel'; then
        echo "FAIL: keep: Orbiter.cfg ticks no Skarvel"
        status=1
    fi
fi

# Stopped while Orbiter runs, as Ctrl-C, `kill` or a closed terminal does it: the signal to the
# script's whole process group (job control gives the script a group of its own and leaves the
# signals to it). Everything is put back, and the script ends as that signal asks.
for signal in INT:130 TERM:143 HUP:129; do
    selected "${signal%:*}" || continue
    lay_out started
    before=$(inventory)
    out=$scratch/${signal%:*}.out
    set -m
    bash "$try" --show --zip "$zip_file" --screenshot "$scratch/interrupted.png" "$folder" \
        -- --keep-open -- -p 'Scenarios\Demo' >"$out" 2>&1 &
    try_pid=$!
    set +m
    for _ in $(seq 150); do
        grep -q "^== Running orbiter.exe" "$out" && [ -s "$folder/Orbiter.log" ] && break
        sleep 0.1
    done
    sleep 1
    kill "-${signal%:*}" -- "-$try_pid"
    got=0
    wait "$try_pid" || got=$?
    report "${signal%:*}" "${signal#*:}" "== Interrupted (${signal%:*}); putting $folder back" "$got" \
        "$(cat "$out")" "$before"
done

exit $status
