#!/usr/bin/env bash
# Checks a built Skarvel.dll's import table: it may import from orbiter.exe, KERNEL32.dll,
# USER32.dll and msvcrt.dll only (anything else would be a DLL Orbiter's folder lacks), and
# from orbiter.exe only Orbiter's six functions, by their undecorated names.
set -euo pipefail
objdump=$1
dll=$2
table=$("$objdump" -p "$dll") || {
    echo "FAIL: $objdump cannot read $dll; build it first (cmake --build --preset mingw-i686)"
    exit 1
}

# "DLL Name: X" starts each library's block; its lines "hint-rva hint name" follow.
libraries=$(printf '%s\n' "$table" | sed -nE 's/^\s*DLL Name: (.+)$/\1/p' | sort | tr '\n' ' ')
allowed=" KERNEL32.dll USER32.dll msvcrt.dll orbiter.exe "
status=0
if [ -z "$libraries" ]; then
    echo "FAIL: $dll has no import table at all; is it a Windows DLL?"
    exit 1
fi
for library in $libraries; do
    if [[ "$allowed" != *" $library "* ]]; then
        echo "FAIL: $dll imports from $library; only$allowed are allowed."
        echo "      Link the run-time statically (-static -static-libgcc -static-libstdc++)"
        echo "      or drop the call that needs $library."
        status=1
    fi
done

orbiter_names=$(printf '%s\n' "$table" |
    awk '/^[ \t]*DLL Name:/ {inside = ($3 == "orbiter.exe"); next}
         inside && NF == 3 && $1 ~ /^[0-9a-f]+$/ {print $3}
         inside && NF == 0 {inside = 0}' | sort | tr '\n' ' ')
known=" Date2Int InitLib oapiCloseDialog oapiDefDialogProc oapiGetCmdLine oapiOpenDialog "
if [ -z "$orbiter_names" ]; then
    echo "FAIL: $dll imports nothing from orbiter.exe; it must bind to Orbiter's functions."
    status=1
fi
for name in $orbiter_names; do
    if [[ "$known" != *" $name "* ]]; then
        echo "FAIL: $dll imports $name from orbiter.exe, which Orbiter does not export;"
        echo "      the names must be exactly those in platform/orbiter.def, undecorated."
        status=1
    fi
done
[ $status -eq 0 ] && echo "ok: $dll imports from ${libraries}only; from orbiter.exe: $orbiter_names"
exit $status
