#!/usr/bin/env bash
# Runs scripts/try-in-orbiter.sh against the Win32 test host laid out as an Orbiter folder (the
# sample scenarios, an Orbiter.cfg that ticks nothing, the host as orbiter.exe), one case a line:
# the exit status and the line the report or refusal must hold, and afterwards every file and
# folder byte for byte as before. Run it inside tests/wine/with-wine.sh, whose display it uses.
#
#   tests/wine/check-try-in-orbiter.sh i686|x64 HOST_EXE ZIP
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

# Lays out the folder: `plain`, or with one fault: `no-exe`, `text-exe`, `other-dll`.
lay_out() {
    rm -rf "$folder"
    cp -r "$source_dir/sample/Orbiter" "$folder"
    printf '; a setting Orbiter keeps\r\nWindowed = TRUE\r\n' >"$folder/Orbiter.cfg"
    cp "$host" "$folder/orbiter.exe"
    case $1 in
    no-exe) rm "$folder/orbiter.exe" ;;
    text-exe) echo "not a program" >"$folder/orbiter.exe" ;;
    other-dll) mkdir -p "$folder/Modules/Plugin" && echo "another build" >"$folder/Modules/Plugin/Skarvel.dll" ;;
    esac
}

# check NAME LAYOUT STATUS TEXT [TRY-ARGUMENT...]: the script ends with STATUS, prints each line
# of TEXT, and leaves the folder as it found it.
check() {
    local name=$1 layout=$2 want_status=$3 want_text=$4 got=0 output before
    shift 4
    lay_out "$layout"
    before=$(inventory)
    output=$(bash "$try" --show --zip "$zip_file" --screenshot "$scratch/$name.png" "$folder" "$@" 2>&1) ||
        got=$?
    report "$name" "$want_status" "$want_text" "$got" "$output" "$before"
}

# report NAME STATUS TEXT GOT OUTPUT BEFORE: compares, and prints the case.
report() {
    local problems=()
    [ "$4" = "$2" ] || problems+=("ended with status $4, not $2")
    local line
    while IFS= read -r line; do
        [[ "$5" == *"$line"* ]] || problems+=("did not print: $line")
    done <<<"$3"
    [ "$(inventory)" = "$6" ] || problems+=("the folder is not as before:
$(diff <(printf '%s\n' "$6") <(inventory) || true)")
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

# Orbiter's command line as a user types it: Wine quotes the path with a blank.
check road plain 0 'verdict:    launched "Scenarios\Demo Flight.scn" paused' \
    -- -p -e 'Scenarios\Demo Flight'
check usage-until-time-limit plain 0 $'orbiter:    still running after 4 s; stopped\nverdict:    usage dialog shown' \
    --seconds 4 -- --keep-open -- -e Nowhere
check launchpad-it-cannot-drive plain 0 "verdict:    ended at start: this launchpad is not Orbiter 2006's" \
    -- --without 1000 -- -p
check no-orbiter-exe no-exe 1 "holds no orbiter.exe, so it is not Orbiter's folder"
check orbiter-exe-not-a-program text-exe 1 "orbiter.exe is not a Windows program"
check other-dll-without-replace other-dll 1 "--replace installs this one for the run"

# Interrupted while Orbiter runs, as Ctrl-C does it: SIGINT to the script's whole process group
# (job control gives the script a group of its own and leaves SIGINT to it). Everything is put back.
lay_out plain
before=$(inventory)
set -m
bash "$try" --show --zip "$zip_file" --screenshot "$scratch/interrupted.png" "$folder" \
    -- --keep-open -- -p "Scenarios\\Demo" >"$scratch/interrupted.out" 2>&1 &
try_pid=$!
set +m
for _ in $(seq 150); do
    grep -q "^== Running orbiter.exe" "$scratch/interrupted.out" && [ -s "$folder/Orbiter.log" ] && break
    sleep 0.1
done
sleep 1
kill -INT -- "-$try_pid"
got=0
wait "$try_pid" || got=$?
report interrupted 130 "== Interrupted; putting $folder back" "$got" "$(cat "$scratch/interrupted.out")" "$before"

exit $status
