#!/usr/bin/env bash
# Installs the add-on zip as a user would and runs Orbiter there: the zip is unpacked into a
# scratch Orbiter folder holding the sample scenarios, an Orbiter.cfg that ticks no module, and
# the test host as orbiter.exe, which loads the modules Orbiter.cfg ticks from Modules\Plugin.
# Checks, in order:
#   - the unpacked DLL's imports and the host's exports are both exactly Orbiter's names;
#   - unpacked but not yet ticked: Orbiter loads no module and shows its launchpad;
#   - ticked as the Modules tab ticks it (trial/module_list.py), the road of one request,
#     -p -e "Scenarios\Demo Flight": every trace line, and the staged scenario byte for byte;
#   - a scenario that cannot be found: the usage dialog's texts;
#   - the same request with the host that exports plain names: the module fails to load,
#     Orbiter goes on without it, and nothing is staged.
# Run it inside tests/wine/with-wine.sh.
#
#   tests/wine/check-install.sh ZIP HOST_EXE PLAIN_NAMES_HOST_EXE OBJDUMP CLANG_TARGET
set -euo pipefail
if [ $# -ne 5 ]; then
    echo "usage: $0 ZIP HOST_EXE PLAIN_NAMES_HOST_EXE OBJDUMP CLANG_TARGET" >&2
    exit 2
fi
zip_file=$(realpath "$1")
host=$(realpath "$2")
plain_host=$(realpath "$3")
objdump=$4
target=$5
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
staged="Scenarios/(Current state).scn"

scratch=$(mktemp -d)
kept=$(mktemp -d) # outside Orbiter's folder: the original staged scenario and Orbiter.cfg
trap 'rm -rf "$scratch" "$kept"' EXIT
source "$here/../lib/harness.sh"
lay_out_orbiter "$scratch"
cp "$host" "$scratch/orbiter.exe"
echo "== Unpacking $(basename "$zip_file") into a scratch Orbiter folder"
unzip -q "$zip_file" -d "$scratch"
(cd "$scratch" && find Modules Doc -type f | sort | sed 's/^/   /')
cd "$scratch"

echo "== The module's imports and the host's exports"
"$source_dir/tests/dll/check_dll_imports.sh" "$objdump" "$target" Modules/Plugin/Skarvel.dll ||
    fail "the unpacked DLL does not bind to Orbiter alone (above)"
"$source_dir/tests/dll/check_dll_imports.sh" --host-exports "$objdump" "$target" orbiter.exe ||
    fail "orbiter.exe does not export exactly Orbiter's names (above)"

source "$here/run-program.sh"
# Runs orbiter.exe in the folder with Orbiter's command line; sets `output`, `errors`, `code`.
run() {
    run_program orbiter.exe -- "$@"
}

cp "$staged" "$kept/original.scn"
echo '== Not yet ticked: orbiter.exe -p -e "Scenarios\Demo Flight"'
run -p -e 'Scenarios\Demo Flight'
printf '%s\n' "$output" | sed 's/^/   /'
[ "$code" -eq 0 ] || fail "orbiter.exe ended with status $code" "$(describe_run)"
[ "$output" = $'user: close orbiter\norbiter: exit 0' ] ||
    fail "with nothing ticked in Orbiter.cfg, Orbiter should load no module and wait for the user" \
        "$(describe_run)"
cmp -s "$staged" "$kept/original.scn" ||
    fail "\"$staged\" changed, though no module was ticked" "$(describe_run)"

echo '== Ticked in Orbiter.cfg, as the Modules tab ticks it'
cp Orbiter.cfg "$kept/Orbiter.cfg"
PYTHONPATH=$source_dir python3 -P -m trial.module_list Orbiter.cfg Skarvel
diff "$kept/Orbiter.cfg" Orbiter.cfg | sed 's/^/   /' || true

echo '== orbiter.exe -p -e "Scenarios\Demo Flight"'
run -p -e 'Scenarios\Demo Flight'
printf '%s\n' "$output" | sed 's/^/   /'
# Orbiter starts the module from inside its DllMain: the start-up comes before the load returns.
# The simulation reads the staged scenario (named by its cksum) and saves its final state over it.
road='module: version 60425
tree: selected "(Current state)"
start-paused: off
start-paused: on
copy: "Scenarios\Demo Flight.scn" -> "Scenarios\(Current state).scn" ok
dialog: open 101
module: loaded Skarvel
click: launch
dialog: close 101
simulation: start "(Current state)" paused; read cksum '"$(cksum <"Scenarios/Demo Flight.scn")"'
simulation: end
dialog: open 101
click: exit
dialog: close 101
orbiter: exit 0'
[ "$code" -eq 0 ] || fail "orbiter.exe ended with status $code" "$(describe_run)"
[ "$output" = "$road" ] || fail "the trace is not the road of one request:" \
    "$(diff <(printf '%s\n' "$road") <(printf '%s\n' "$output") || true)" "$(describe_run)"
for file in Device.dat keymap.cfg; do
    [ -s "$file" ] || fail "orbiter.exe did not write $file at start, as Orbiter does when it is missing" \
        "$(describe_run)"
done

echo '== orbiter.exe -e Nowhere'
cp "$kept/original.scn" "$staged"
run -e Nowhere
printf '%s\n' "$output" | sed 's/^/   /'
# The usage dialog's texts, top to bottom.
usage=$(cat "$here/usage-texts.txt")
shown=$(printf '%s\n' "$output" | sed -n 's/^  | //p')
[ "$code" -eq 0 ] || fail "orbiter.exe ended with status $code" "$(describe_run)"
[ "$shown" = "$usage" ] || fail "the usage dialog's texts, top to bottom, are not the expected ones:" \
    "$(diff <(printf '%s\n' "$usage") <(printf '%s\n' "$shown") || true)" "$(describe_run)"
cmp -s "$staged" "$kept/original.scn" ||
    fail "\"$staged\" changed, though nothing was found to stage" "$(describe_run)"

echo '== The same request with an orbiter.exe that exports the plain names'
cp "$plain_host" orbiter.exe
run -p -e 'Scenarios\Demo Flight'
printf '%s\n' "$output" "$errors" | sed '/^$/d; s/^/   /'
[ "$code" -eq 0 ] && [[ "$output" == *"module: failed loading Skarvel"* ]] &&
    [[ "$errors" == *"cannot load the module"* ]] ||
    fail "the module should fail to load and Orbiter go on (status 0); orbiter.exe ended with status $code" \
        "$(describe_run)"
[[ "$output" != *"module: version"* ]] || fail "the module was loaded and called" "$(describe_run)"
cmp -s "$staged" "$kept/original.scn" ||
    fail "\"$staged\" changed, though the module did not load" "$(describe_run)"

finish "installed from the zip and ticked, the module binds to orbiter.exe and runs; with plain \
names it does not load"
