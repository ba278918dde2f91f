#!/usr/bin/env bash
# Checks scripts/folder-snapshot.sh on a small Orbiter-like folder in a scratch place, one case a
# row: lay the folder out, take, make a change, put back; then the exit status, everything it
# printed, and the folder against a listing of its own (type, mode, size, time and checksum of
# every entry). A second put-back must then find nothing more to do.
set -euo pipefail
snapshot=$(cd "$(dirname "$0")/../.." && pwd)/scripts/folder-snapshot.sh
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
folder="$scratch/Orbiter 2006"
store=$scratch/store
odd=$'Scenarios/odd\tname\n.scn'
failed=0

lay_out() {
    rm -rf "$folder" "$store"
    mkdir -p "$folder" && cd "$folder"
    mkdir -p Scenarios "Config/My Add On" Config/Vessels Textures TEXTURES2 Meshes Doc Flights Modules/Plugin
    local name
    for name in orbiter.exe Orbiter.cfg "Scenarios/(Current state).scn" "Scenarios/Demo Flight.scn" \
        "$odd" "Config/My Add On/Set Up.CFG" Config/Vessels/v{01..10}.cfg Textures/Earth.dds \
        TEXTURES2/Moon.dds Meshes/dg.msh Doc/Manual.pdf; do
        echo "the bytes of $name" >"$name"
    done
    ln -s Vessels/v01.cfg Config/Current.cfg
    chmod 600 Orbiter.cfg && chmod 700 Config/Vessels
    # Each entry its own time in the past, so that a time not set back shows.
    local seconds=1146000000
    find . -depth -print0 | while IFS= read -r -d '' name; do
        seconds=$((seconds + 1))
        touch -h -d "@$seconds.$((seconds % 1000))000123" "$name"
    done
}

# Everything in the folder, one entry a line (a newline in a name shows as "?").
listing() {
    (cd "$folder" && find . -printf '%y %m %s %T@ %p\0' && find . -type f -exec sha256sum -z {} +) |
        sort -z | tr '\n\0' '?\n'
}

# name | status | paths that may still differ | change, run in the folder | what put-back prints
# shellcheck disable=SC2016 # the changes are run later, in the folder
cases=(
    'nothing-changed|0||true|== As it was: nothing to put back'
    'new-files-and-folders|0||echo d >Device.dat; echo k >keymap.cfg; mkdir -p Images/a/b && echo p >Images/a/b/c.png; echo m >Modules/Plugin/Skarvel.dll|== Removed, as they were not there: Device.dat; Images/ (folder, 3 entries); Modules/Plugin/Skarvel.dll; keymap.cfg'
    'changed-files|0||echo saved >>"Scenarios/(Current state).scn"; echo Windowed >Orbiter.cfg; ln -sfn Vessels/v02.cfg Config/Current.cfg|== Put back as they were: Config/Current.cfg; Orbiter.cfg; Scenarios/(Current state).scn'
    'same-size-and-time|0||t=$(find orbiter.exe -printf %T@); echo "The bytes of orbiter.exe" >orbiter.exe; touch -d @$t orbiter.exe|== Put back as they were: orbiter.exe'
    'modes-and-times|0||chmod 644 Orbiter.cfg; chmod 755 Config/Vessels; touch Config/Vessels/v03.cfg Flights|== Put back as they were: Config/Vessels/ (mode); Config/Vessels/v03.cfg; Flights/ (modification time); Orbiter.cfg'
    'removed-file|0||rm "Scenarios/Demo Flight.scn"|== Put back as they were: Scenarios/Demo Flight.scn'
    'odd-names|0||echo x >>"$odd"; echo y >>"Config/My Add On/Set Up.CFG"; rm "Scenarios/(Current state).scn"|== Put back as they were: Config/My Add On/Set Up.CFG; Scenarios/(Current state).scn; Scenarios/odd\tname\n.scn'
    'empty-folder-removed|0||rmdir Flights|== Put back as they were: Flights/ (folder)'
    'folder-not-there|0||mkdir Scenarios/Quicksave; touch Scenarios/x; rm Scenarios/x|== Removed, as they were not there: Scenarios/Quicksave/ (empty folder)'
    'file-became-folder|0||rm Orbiter.cfg && mkdir -p Orbiter.cfg/x|== Put back as they were: Orbiter.cfg|== Removed, as they were not there: Orbiter.cfg/ (folder, 1 entry)'
    'assets-not-backed-up|3|./TEXTURES2/Moon.dds ./Meshes/dg.msh|echo longer >>TEXTURES2/Moon.dds; rm Meshes/dg.msh; echo d >Device.dat|== Removed, as they were not there: Device.dat|== Not as it was:|   Meshes/dg.msh: removed, not backed up|   TEXTURES2/Moon.dds: changed (size 32 -> 39, modified)'
    'many|0||for i in {01..12}; do echo >Scenarios/new$i.scn; done; for i in {01..10}; do echo >>Config/Vessels/v$i.cfg; done; mkdir Images && touch Images/{01..40}.bmp|== Put back as they were: Config/ (10 files)|== Removed, as they were not there: Images/ (folder, 40 entries); Scenarios/ (12 files)'
)

for row in "${cases[@]}"; do
    IFS='|' read -r -a field <<<"$row"
    name=${field[0]} want_status=${field[1]} may_differ=${field[2]} change=${field[3]}
    want_output=$(printf '%s\n' "${field[@]:4}")
    lay_out
    before=$(listing)
    problems=()
    bash "$snapshot" take "$folder" "$store" >/dev/null || problems+=("take ended with status $?")
    (cd "$folder" && eval "$change")
    status=0
    output=$(bash "$snapshot" put-back "$folder" "$store" 2>&1) || status=$?
    [ "$status" = "$want_status" ] || problems+=("ended with status $status, not $want_status")
    [ "$output" = "$want_output" ] || problems+=("printed:" "$output" "instead of:" "$want_output")
    pattern="^[a-z] [0-9]+ [0-9]+ [0-9.]+ (${may_differ// /|})$|^[0-9a-f]{64}  (${may_differ// /|})$"
    [ -n "$may_differ" ] || pattern='^$'
    after=$(listing)
    differs=$(diff <(grep -Ev "$pattern" <<<"$before") <(grep -Ev "$pattern" <<<"$after")) ||
        problems+=("the folder is not as before:" "$differs")
    status=0
    again=$(bash "$snapshot" put-back "$folder" "$store" 2>&1) || status=$?
    if [ "$status" != "$want_status" ] || { [ "$status" = 0 ] && [ "$again" != "== As it was: nothing to put back" ]; }; then
        problems+=("put back again, it ended with status $status and printed:" "$again")
    fi
    [ "$(listing)" = "$after" ] || problems+=("putting back again changed the folder")
    if [ ${#problems[@]} -eq 0 ]; then
        echo "ok: $name"
    else
        echo "FAIL: $name"
        printf '    %s\n' "${problems[@]}"
        failed=1
    fi
done

# name | status | arguments, after a take of the folder into the store | what the error says
# shellcheck disable=SC2016 # the arguments are expanded later, by eval
refusals=(
    'bad-usage|2|take "$folder"|take FOLDER STORE'
    'not-a-folder|1|take "$scratch/none" "$scratch/other"|is not a folder'
    'store-inside-folder|1|take "$folder" "$folder/Scenarios/store"|lies inside'
    'store-not-empty|1|take "$folder" "$store"|holds something already'
    'no-snapshot|1|put-back "$folder" "$scratch/none"|holds no whole snapshot'
    'snapshot-of-another-folder|1|put-back "$folder/Config" "$store"|is a snapshot of'
)
for row in "${refusals[@]}"; do
    IFS='|' read -r name want_status arguments want_text <<<"$row"
    lay_out
    bash "$snapshot" take "$folder" "$store" >/dev/null
    before=$(listing)
    status=0
    output=$(eval "bash \"\$snapshot\" $arguments" 2>&1) || status=$?
    if [ "$status" = "$want_status" ] && [[ $output == *"$want_text"* ]] && [ "$(listing)" = "$before" ]; then
        echo "ok: $name"
    else
        echo "FAIL: $name: ended with status $status (not $want_status), printed:"
        printf '    %s\n' "$output"
        [ "$(listing)" = "$before" ] || echo "    and the folder changed"
        failed=1
    fi
done
exit "$failed"
