#!/usr/bin/env bash
# Checks the binding between Skarvel.dll and orbiter.exe against Orbiter's own declarations.
#
#   tests/dll/check_dll_imports.sh OBJDUMP CLANG_TARGET Skarvel.dll
#   tests/dll/check_dll_imports.sh --host-exports OBJDUMP CLANG_TARGET orbiter.exe
#
# The names orbiter.exe exports are derived, not written down: clang++ compiles
# orbiter_declarations.cpp for the Microsoft ABI of CLANG_TARGET (i686-pc-windows-msvc or
# x86_64-pc-windows-msvc) and llvm-nm reads the decorated names its calls refer to.
# A DLL may import from orbiter.exe, KERNEL32.dll, USER32.dll and msvcrt.dll only (anything
# else would be a DLL Orbiter's folder lacks), and from orbiter.exe exactly those names.
# With --host-exports, a host's export table must hold exactly those names, and no other.
set -euo pipefail
set -f # the decorated names hold "?", which must not glob when a list is split
mode=imports
if [ "${1:-}" = --host-exports ]; then
    mode=exports
    shift
fi
if [ $# -ne 3 ]; then
    echo "usage: $0 [--host-exports] OBJDUMP CLANG_TARGET FILE" >&2
    exit 2
fi
objdump=$1
target=$2
image=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../lib/harness.sh"

for tool in clang++ llvm-nm; do
    if ! command -v "$tool" >/dev/null; then
        fail "$tool is missing; it derives Orbiter's decorated names." \
            "On Debian 12, as root: bash scripts/install-packages.sh clang llvm"
        finish
    fi
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
if ! clang++ --target="$target" -c "$here/orbiter_declarations.cpp" -o "$scratch/declarations.o"; then
    fail "clang++ --target=$target cannot compile $here/orbiter_declarations.cpp"
    finish
fi
# Undefined symbols: "__imp_NAME" for a dllimport declaration, "NAME" otherwise.
expected=$(llvm-nm --undefined-only --format=just-symbols "$scratch/declarations.o" |
    sed 's/^__imp_//' | sort -u)
if [ "$(printf '%s\n' "$expected" | grep -c .)" -ne 6 ]; then
    fail "$here/orbiter_declarations.cpp should call Orbiter's six functions; it refers to:" $expected
    finish
fi

if ! table=$("$objdump" -p "$image"); then
    fail "$objdump cannot read $image; build it first (cmake --build --preset <preset>)"
    finish
fi

# compare WHAT ACTUAL HINT...: fails, naming the names missing from ACTUAL and those it should
# not hold, with the HINT lines, unless ACTUAL lists exactly the expected names.
compare() {
    local what=$1 actual=$2 missing unexpected name lines=()
    shift 2
    missing=$(comm -23 <(printf '%s\n' "$expected") <(printf '%s\n' "$actual" | grep . | sort -u))
    unexpected=$(comm -13 <(printf '%s\n' "$expected") <(printf '%s\n' "$actual" | grep . | sort -u))
    [ -z "$missing$unexpected" ] && return 0
    for name in $missing; do lines+=("missing:    $name"); done
    for name in $unexpected; do lines+=("unexpected: $name"); done
    fail "$image $what does not match Orbiter's declarations ($target)." "${lines[@]}" "$@"
    return 1
}

if [ $mode = exports ]; then
    # The "[Ordinal/Name Pointer] Table" lists each exported name as "[   i] NAME".
    exports=$(printf '%s\n' "$table" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
        sed -nE 's/^\s*\[ *[0-9]+\] (.+)$/\1/p')
    if compare "exports" "$exports" \
        "A host that plays Orbiter exports exactly Orbiter's decorated names:" \
        "testbed/hosts/win32/CMakeLists.txt makes its table from platform/orbiter-<arch>.def."; then
        ok "$image exports exactly Orbiter's six decorated names for $target:"
        printf '    %s\n' $expected
    fi
    finish
fi

# "DLL Name: X" starts each library's block; its lines "hint-rva hint name" follow.
libraries=$(printf '%s\n' "$table" | sed -nE 's/^\s*DLL Name: (.+)$/\1/p' | sort | tr '\n' ' ')
allowed=" KERNEL32.dll USER32.dll msvcrt.dll orbiter.exe "
if [ -z "$libraries" ]; then
    fail "$image has no import table at all; is it a Windows DLL?"
    finish
fi
refused=()
for library in $libraries; do
    [[ "$allowed" == *" $library "* ]] || refused+=("$library")
done
for library in "${refused[@]}"; do
    fail "$image imports from $library; only$allowed are allowed." \
        "Link the run-time statically (-static -static-libgcc -static-libstdc++)" \
        "or drop the call that needs $library."
done
[ ${#refused[@]} -gt 0 ] || ok "$image imports from ${libraries}only"

imported=$(printf '%s\n' "$table" |
    awk '/^[ \t]*DLL Name:/ {inside = ($3 == "orbiter.exe"); next}
         inside && NF == 3 && $1 ~ /^[0-9a-f]+$/ {print $3}
         inside && NF == 0 {inside = 0}')
if compare "imports from orbiter.exe" "$imported" \
    "Orbiter exports its functions only under these decorated names; the .def in" \
    "platform/ for this architecture must map each plain name to one of them."; then
    ok "$image imports from orbiter.exe exactly Orbiter's names for $target:"
    printf '    %s\n' $expected
fi
finish
