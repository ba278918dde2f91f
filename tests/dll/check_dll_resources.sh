#!/usr/bin/env bash
# Checks a built Skarvel.dll's dialog templates: they must be exactly those compiled from the
# module's resource script, which the unit tests check field by field. Both are read back by
# windres, so any difference in a field or text shows in the diff.
#
#   tests/dll/check_dll_resources.sh WINDRES DLL RC_FILE
set -euo pipefail
windres=$1
dll=$2
script=$3
source "$(dirname "$0")/../lib/harness.sh"

# The dialog resources of a windres listing: from "Type: dialog" to the next type, without
# the 16-bit memory flags, which a PE file does not keep.
dialogs() {
    awk '/^\/\* Type: / {inside = ($3 == "dialog")} inside' |
        sed -E 's/ (MOVEABLE|FIXED|PURE|IMPURE|PRELOAD|LOADONCALL|DISCARDABLE)//g'
}
shipped=$("$windres" -i "$dll" -O rc | dialogs) || {
    fail "$windres cannot read the resources of $dll; build it first."
    finish
}
source=$("$windres" --preprocessor=cpp -i "$script" -O rc | dialogs)
if [ -z "$source" ]; then
    fail "no dialog template compiled from $script"
    finish
fi
if [ "$shipped" != "$source" ]; then
    fail "the dialog templates in $dll differ from those compiled from $script:" \
        "$(diff <(printf '%s\n' "$source") <(printf '%s\n' "$shipped") || true)"
    finish
fi
ok "$dll carries the dialog templates of $script:"
printf '%s\n' "$shipped" | sed -nE 's/^([0-9]+ DIALOGEX.*)/   \1/p'
finish
