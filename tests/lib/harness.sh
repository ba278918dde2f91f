# What the bash tests share; source it. `ok WHAT` reports a check that passed; `fail WHAT [GOT...]`
# one that failed, with the values got indented below it, and marks the test failed; `finish
# [WHAT]` ends the test: status 1 when a check failed, else 0, after `ok WHAT` when WHAT is given
# and nothing failed. `lay_out_orbiter DIR [MODULE]` makes DIR a scratch Orbiter folder, a copy
# of sample/Orbiter whose Orbiter.cfg ticks no module: with MODULE, installed as
# Modules/Plugin/Skarvel.dll and ticked as the Modules tab ticks it (trial/module_list.py).
harness_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
harness_status=0

ok() {
    echo "ok: $1"
}

fail() {
    echo "FAIL: $1"
    shift
    [ $# -eq 0 ] || printf '%s\n' "$@" | sed 's/^/    /'
    harness_status=1
}

finish() {
    [ $# -eq 0 ] || [ "$harness_status" -ne 0 ] || ok "$1"
    exit "$harness_status"
}

lay_out_orbiter() {
    mkdir -p "$1"
    cp -r "$harness_root/sample/Orbiter/." "$1/"
    echo "; Orbiter's configuration, with no module ticked." >"$1/Orbiter.cfg"
    [ $# -ge 2 ] || return 0
    mkdir -p "$1/Modules/Plugin"
    cp "$2" "$1/Modules/Plugin/Skarvel.dll"
    PYTHONPATH=$harness_root python3 -P -m trial.module_list "$1/Orbiter.cfg" Skarvel
}
