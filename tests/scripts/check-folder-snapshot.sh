#!/usr/bin/env bash
# Checks scripts/folder-snapshot.sh on a small Orbiter-like folder in a scratch place, one case a
# row: lay the folder out, take its inventory, make a change, compare; then the exit status and
# everything compare printed. The folder holds a named pipe, which must be listed and never read
# (each step is given a time limit), and a link in Textures to a folder outside. Then the copy a
# run works in, made and checked by a user other than root, with a read-only folder in it; and
# the refusals.
set -euo pipefail
snapshot=$(cd "$(dirname "$0")/../.." && pwd)/scripts/folder-snapshot.sh
scratch=$(mktemp -d)
trap 'chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT
folder="$scratch/Orbiter 2006"
store=$scratch/store
odd=$'Scenarios/odd\tname\n.scn'
failed=0

# verdict NAME: "ok: NAME", or "FAIL: NAME" and the problems found.
verdict() {
    if [ ${#problems[@]} -eq 0 ]; then
        echo "ok: $1"
    else
        echo "FAIL: $1"
        printf '    %s\n' "${problems[@]}"
        failed=1
    fi
}

lay_out() {
    rm -rf "$folder" "$store" "$scratch/outside"
    mkdir -p "$scratch/outside/tex" && echo "a linked texture" >"$scratch/outside/tex/Moon.dds"
    mkdir -p "$folder" && cd "$folder"
    mkdir -p Scenarios "Config/My Add On" Config/Vessels Textures TEXTURES2 Meshes Doc Flights Modules/Plugin
    local name
    for name in orbiter.exe Orbiter.cfg "Scenarios/(Current state).scn" "Scenarios/Demo Flight.scn" \
        "$odd" "Scenarios/-lead [1].scn" "Config/My Add On/Set Up.CFG" Config/Vessels/v{01..10}.cfg \
        Textures/Earth.dds TEXTURES2/Moon.dds Meshes/dg.msh Doc/Manual.pdf; do
        echo "the bytes of $name" >"$name"
    done
    ln -s Vessels/v01.cfg Config/Current.cfg
    ln -s "$scratch/outside/tex" Textures/Linked
    mkfifo Scenarios/pipe
    chmod 600 Orbiter.cfg && chmod 700 Config/Vessels
    # Each entry its own time in the past, so that a changed time shows.
    local seconds=1146000000
    find . -depth -print0 | while IFS= read -r -d '' name; do
        seconds=$((seconds + 1))
        touch -h -d "@$seconds.$((seconds % 1000))000123" "$name"
    done
}

# name | status | change, run in the folder | what compare prints, a line a field
# shellcheck disable=SC2016 # the changes are run later, in the folder
cases=(
    'nothing-changed|0|true'
    'new-files-and-folders|3|echo d >Device.dat; echo k >keymap.cfg; mkdir -p Images/a/b && echo p >Images/a/b/c.png; echo m >Modules/Plugin/Skarvel.dll|Device.dat: new|Images/: new (folder, 3 entries)|Modules/Plugin/Skarvel.dll: new|keymap.cfg: new'
    'changed-files|3|echo saved >>"Scenarios/(Current state).scn"; ln -sfn Vessels/v02.cfg Config/Current.cfg|Config/Current.cfg: changed (modified, content)|Scenarios/(Current state).scn: changed (size 43 -> 49, modified)'
    'same-size-and-time|3|t=$(find orbiter.exe -printf %T@); echo "The bytes of orbiter.exe" >orbiter.exe; touch -d @$t orbiter.exe|orbiter.exe: changed (content)'
    'modes-and-times|3|chmod 644 Orbiter.cfg; chmod 755 Config/Vessels; touch Config/Vessels/v03.cfg Flights|Config/Vessels/: changed (mode 700 -> 755)|Config/Vessels/v03.cfg: changed (modified)|Flights/: changed (modified)|Orbiter.cfg: changed (mode 600 -> 644)'
    'removed-file|3|rm "Scenarios/Demo Flight.scn"|Scenarios/Demo Flight.scn: removed'
    'odd-names|3|echo x >>"$odd"; echo y >>"Config/My Add On/Set Up.CFG"; rm "Scenarios/-lead [1].scn"|Config/My Add On/Set Up.CFG: changed (size 41 -> 43, modified)|Scenarios/-lead [1].scn: removed|Scenarios/odd\tname\n.scn: changed (size 37 -> 39, modified)'
    'empty-folder-removed|3|rmdir Flights|Flights/: removed (empty folder)'
    'folder-made-and-emptied|3|mkdir Scenarios/Quicksave; touch Scenarios/x; rm Scenarios/x|Scenarios/Quicksave/: new (empty folder)'
    'file-became-folder|3|rm Orbiter.cfg && mkdir -p Orbiter.cfg/x|Orbiter.cfg: changed (type file -> folder, mode 600 -> 755)|Orbiter.cfg/x/: new (empty folder)'
    'assets-listed-not-checksummed|3|echo longer >>TEXTURES2/Moon.dds; rm -r Meshes|Meshes/: removed (folder, 1 entry)|TEXTURES2/Moon.dds: changed (size 32 -> 39, modified)'
    'written-behind-a-link|3|echo longer >>../outside/tex/Moon.dds|Textures/Linked/Moon.dds: changed (size 17 -> 24, modified)'
)

for row in "${cases[@]}"; do
    IFS='|' read -r -a field <<<"$row"
    name=${field[0]} want_status=${field[1]} change=${field[2]}
    want_output=
    [ ${#field[@]} -eq 3 ] || want_output=$(printf '%s\n' "${field[@]:3}")
    lay_out
    problems=()
    timeout 20 bash "$snapshot" take "$folder" "$store" || problems+=("take ended with status $?")
    (cd "$folder" && eval "$change")
    status=0
    output=$(timeout 20 bash "$snapshot" compare "$folder" "$store" 2>&1) || status=$?
    [ "$status" = "$want_status" ] || problems+=("ended with status $status, not $want_status")
    [ "$output" = "$want_output" ] || problems+=("printed:" "$output" "instead of:" "$want_output")
    verdict "$name"
done

# The copy, made by a user other than root (the one running the test, or nobody when that is
# root) from a folder of that user's with a read-only folder in it: everything outside the asset
# folders is there with its type, mode, size, time and bytes, links followed, but for the named
# pipe, which is left out and named; each asset folder is a link to the user's; the inventory
# finds the folder unchanged afterwards.
lay_out
chmod 555 Config/Vessels
user_dir=$scratch/user
mkdir "$user_dir" && cp "$snapshot" "$user_dir/folder-snapshot.sh"
mv "$folder" "$user_dir/Orbiter"
as_user=()
who=$(id -un)
if [ "$(id -u)" = 0 ]; then
    who=nobody
    chmod 755 "$scratch"
    chown -R nobody:nogroup "$user_dir"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
problems=()
status=0
output=$("${as_user[@]}" timeout 20 bash -c 'cd "$1" && bash folder-snapshot.sh take Orbiter inventory &&
    bash folder-snapshot.sh copy Orbiter copy && bash folder-snapshot.sh compare Orbiter inventory' \
    - "$user_dir" 2>&1) || status=$?
[ "$status" = 0 ] && [ "$output" = "Scenarios/pipe: left out (named pipe)" ] ||
    problems+=("ended with status $status, printed:" "$output")
# Everything under a folder, links followed, a line each: type, mode, size, time and checksum.
followed() {
    (cd "$1" && find -L . \( -type d -printf 'd %m - %T@ %p\n' \) -o -printf '%y %m %s %T@ %p\n' &&
        find -L . -type f -exec sha256sum {} +) | sort
}
differs=$(comm -3 <(followed "$user_dir/Orbiter") <(followed "$user_dir/copy"))
[[ $differs =~ ^p\ [0-9]+\ 0\ [0-9.]+\ \./Scenarios/pipe$ ]] || problems+=("the copy differs:" "$differs")
links=$(cd "$user_dir/copy" 2>/dev/null && find . -type l -printf '%p -> %l\n' | sort) || links="(no copy)"
want_links=$(for name in Doc Meshes TEXTURES2 Textures; do echo "./$name -> $user_dir/Orbiter/$name"; done)
[ "$links" = "$want_links" ] || problems+=("the copy's links are" "$links" "instead of" "$want_links")
verdict "copy-as-$who"

# name | status | set-up in the folder | arguments, after a take of the folder into the store |
# what the error says
# shellcheck disable=SC2016 # the arguments are expanded later, by eval
refusals=(
    'bad-usage|2|true|take "$folder"|take FOLDER INVENTORY'
    'not-a-folder|1|true|take "$scratch/none" "$scratch/other"|is not a folder'
    'inventory-inside-folder|1|true|take "$folder" "$folder/Scenarios/store"|lies inside'
    'inventory-not-empty|1|true|take "$folder" "$store"|holds something already'
    'no-inventory|1|true|compare "$folder" "$scratch/none"|holds no whole inventory'
    'inventory-of-another-folder|1|true|compare "$folder/Config" "$store"|is an inventory of'
    'copy-not-empty|1|true|copy "$folder" "$store"|holds something already'
    'link-to-nothing|1|ln -s nowhere Scenarios/gone.scn|copy "$folder" "$scratch/copy"|cannot stat'
    'link-cycle|1|ln -s .. Textures/up|take "$folder" "$scratch/copy"|Textures/up leads back to the folder itself'
)
for row in "${refusals[@]}"; do
    IFS='|' read -r name want_status set_up arguments want_text <<<"$row"
    lay_out
    bash "$snapshot" take "$folder" "$store"
    (cd "$folder" && eval "$set_up")
    before=$(find "$folder" -printf '%y %m %s %T@ %p\n')
    status=0
    output=$(eval "timeout 20 bash \"\$snapshot\" $arguments" 2>&1) || status=$?
    after=$(find "$folder" -printf '%y %m %s %T@ %p\n')
    if [ "$status" = "$want_status" ] && [[ $output == *"$want_text"* ]] && [ "$after" = "$before" ]; then
        echo "ok: $name"
    else
        echo "FAIL: $name: ended with status $status (not $want_status), printed:"
        printf '    %s\n' "$output"
        [ "$after" = "$before" ] || echo "    and the folder changed"
        failed=1
    fi
    rm -rf "$scratch/copy"
done
exit "$failed"
