#!/usr/bin/env bash
# Checks a built Skarvel.dll's export table: exactly the five entry points, undecorated,
# with opcOpenRenderViewport and ExitModule one routine at one address.
set -euo pipefail
objdump=$1
dll=$2
source "$(dirname "$0")/../lib/harness.sh"
table=$("$objdump" -p "$dll")

# "[   i] Name" lines of the name table, and "[   i] +base[ n] RVA Export RVA" lines of the
# address table; GNU ld numbers the exports in name order, so index i is the same export in both.
names=$(printf '%s\n' "$table" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' \
    | sed -nE 's/^\s*\[ *([0-9]+)\] (.+)$/\1 \2/p')
addresses=$(printf '%s\n' "$table" | sed -n '/^Export Address Table --/,/^$/p' \
    | sed -nE 's/^\s*\[ *([0-9]+)\] \+base\[ *[0-9]+\] ([0-9a-f]+) .*/\1 \2/p')

exports=$(printf '%s\n' "$names" | awk '{print $2}' | sort | tr '\n' ' ')
expected="ExitModule GetModuleVersion InitModule opcCloseRenderViewport opcOpenRenderViewport "
if [ "$exports" != "$expected" ]; then
    fail "$dll exports: $exports" "expected:    $expected"
    finish
fi

address_of() {
    local index
    index=$(printf '%s\n' "$names" | awk -v name="$1" '$2 == name {print $1}')
    printf '%s\n' "$addresses" | awk -v index_="$index" '$1 == index_ {print $2}'
}
exit_rva=$(address_of ExitModule)
viewport_rva=$(address_of opcOpenRenderViewport)
distinct=$(printf '%s\n' "$addresses" | awk '{print $2}' | sort -u | wc -l)
if [ -z "$exit_rva" ] || [ "$exit_rva" != "$viewport_rva" ] || [ "$distinct" -ne 4 ]; then
    fail "$dll: expected ExitModule = opcOpenRenderViewport, and four distinct routines" \
        "got: ExitModule at ${exit_rva:-none}, opcOpenRenderViewport at ${viewport_rva:-none}" \
        "and $distinct distinct routines"
    finish
fi
ok "$dll exports $exports(ExitModule = opcOpenRenderViewport at $exit_rva)"
finish
