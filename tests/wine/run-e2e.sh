#!/usr/bin/env bash
# Runs the end-to-end table (tests/e2e) against the Win32 test host and the real DLL under
# Wine; each row installs the DLL in Modules\Plugin of its scratch Orbiter folder, whose
# Orbiter.cfg ticks it. The table's runner is a Linux program from the native build; it is built
# first when it is missing.
#
#   tests/wine/run-e2e.sh i686|x64 HOST_EXE MODULE_DLL WINEPREFIX [GTEST ARG...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
arch=$1
host=$(realpath "$2")
module=$(realpath "$3")
prefix=$4
shift 4
runner=${SKARVEL_E2E_RUNNER:-$source_dir/build/native/tests/e2e_tests}

if [ ! -x "$runner" ]; then
    echo "== Building the end-to-end runner $runner (preset native, target e2e_tests)"
    (cd "$source_dir" && cmake --preset native >/dev/null &&
        cmake --build --preset native --target e2e_tests >/dev/null) || {
        echo "error: building the end-to-end runner failed; run" >&2
        echo "       cmake --preset native && cmake --build --preset native  to see why." >&2
        exit 1
    }
fi
case "$host" in
*' '*)
    echo "error: the path $host contains a blank, which SKARVEL_HOST cannot carry;" >&2
    echo "       build in a folder whose path has none." >&2
    exit 1
    ;;
esac
echo "== End-to-end table under Wine: $host with $module"
SKARVEL_HOST="wine $host" SKARVEL_MODULE=$module exec "$here/with-wine.sh" "$arch" "$prefix" "$runner" "$@"
