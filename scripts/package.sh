#!/usr/bin/env bash
# Builds the add-on package that users install: dist/Skarvel-<version>.zip, laid out like
# Orbiter's folder (Modules/Plugin/Skarvel.dll, Doc/Skarvel.txt, Doc/Skarvel-license.txt).
# The DLL is the 32-bit Release build, from a fresh build folder; the version is the CMake
# project's. It is packed only from a committed tree, so that the zip is what the commit says:
# two runs from one commit, with the same versions of the toolchain (written beside the zip),
# give the same bytes. dist/ gets the zip only once every check has passed. Root is needed only
# to install missing packages.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
scripts/install-packages.sh "${PACKAGE_PACKAGES[@]}"

fail() {
    echo "error: $1" >&2
    shift
    [ $# -eq 0 ] || printf '       %s\n' "$@" >&2
    exit 1
}

tools=(cmake ninja zip unzip clang++ llvm-nm)
for tool in g++-win32 windres dlltool strip objdump; do
    tools+=("i686-w64-mingw32-$tool")
done
for tool in "${tools[@]}"; do
    command -v "$tool" >/dev/null ||
        fail "$tool is missing, so the package cannot be built." \
            "On Debian 12, as root: bash scripts/install-packages.sh ${PACKAGE_PACKAGES[*]}"
done

echo "== Checking that the tree is committed"
if ! changes=$(git status --porcelain 2>&1); then
    # git refuses a clone that another account owns ("dubious ownership") before anything else.
    [[ $changes != *"dubious ownership"* ]] ||
        fail "git refuses to read this clone: another account owns it (git's ownership check)." \
            "If you trust it: git config --global --add safe.directory '$(pwd)'"
    fail "this is not a git checkout; package a clone of the repository." "git said: $changes"
fi
if [ -n "$changes" ]; then
    printf '%s\n' "$changes" | sed 's/^/   /' >&2
    fail "the tree has uncommitted changes (above); the package must be what a commit holds." \
        "An untracked file (\"??\") counts too, as it may be one the build picks up." \
        "Commit or stash the changes; remove an untracked file, or list it in .gitignore;" \
        "then run this again."
fi

build=build/package-i686
log=$build.log
echo "== Configuring a fresh 32-bit Release build in $build"
rm -rf "$build"
mkdir -p "$build" # and build/ itself, which a fresh clone lacks, for the log beside it
cmake -S . -B "$build" -G Ninja --toolchain cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release \
    >"$log" 2>&1 || fail "configuring failed; see $log"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt; see $log"
# The toolchain file names the win32 thread model's compiler; the posix one gives other bytes.
compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' "$build"/CMakeFiles/*/CMakeCXXCompiler.cmake)
grep -qx 'Thread model: win32' <<<"$("$compiler" -v 2>&1)" ||
    fail "$compiler does not build with the win32 thread model, which the package is built with." \
        "cmake/mingw-i686.cmake names i686-w64-mingw32-g++-win32; configure with that one."
echo "== Building Skarvel.dll $version and packing it (2 jobs)"
cmake --build "$build" --target package_zip -j 2 >>"$log" 2>&1 ||
    fail "building or packing failed; see $log"
zip_file=$build/Skarvel-$version.zip

echo "== Checking the package"
check=$(mktemp -d)
partial=dist/.Skarvel-$version.zip.partial
trap 'rm -rf "$check" "$partial"' EXIT
expected=$'Modules/Plugin/Skarvel.dll\nDoc/Skarvel.txt\nDoc/Skarvel-license.txt'
[ "$(unzip -Z1 "$zip_file")" = "$expected" ] ||
    fail "$zip_file does not hold exactly:" $expected
unzip -q "$zip_file" -d "$check"
dll=$check/Modules/Plugin/Skarvel.dll
size=$(stat -c %s "$dll")
[ "$size" -le 65536 ] || fail "the stripped Skarvel.dll has $size bytes, more than 64 KiB."
tests/dll/check_dll_imports.sh i686-w64-mingw32-objdump i686-pc-windows-msvc "$dll" >"$check/imports" ||
    fail "the packaged DLL's imports are wrong:" "$(cat "$check/imports")"
tests/dll/check_dll_tables.sh i686-w64-mingw32-objdump "$dll" >"$check/exports" ||
    fail "the packaged DLL's exports are wrong:" "$(cat "$check/exports")"
# The manual says Windows XP (5.1) or later: the DLL's header must not ask for more.
read -r major minor < <(i686-w64-mingw32-objdump -p "$dll" |
    awk '/^M(aj|in)orSubsystemVersion/ { printf "%s ", $2 } END { print "" }')
[ $((major * 100 + minor)) -le 501 ] ||
    fail "the DLL's header asks for Windows $major.$minor; docs/Skarvel.txt says XP (5.1) or later."
# Notepad on any Windows shows the manual as written: CR LF line ends, 78 columns at most.
manual=$check/Doc/Skarvel.txt
! grep -q -v $'\r$' "$manual" || fail "Doc/Skarvel.txt has lines without a CR LF end."
wide=$(tr -d '\r' <"$manual" | awk 'length > 78 { print "line " NR ": " length " columns" }')
[ -z "$wide" ] || fail "docs/Skarvel.txt has lines wider than 78 columns:" "$wide"

mkdir -p dist
cp "$zip_file" "$partial"
mv -f "$partial" "dist/Skarvel-$version.zip"
# The commit the zip was packed from, so that scripts/try-in-orbiter.sh knows whether it is current.
git rev-parse HEAD >"dist/Skarvel-$version.zip.commit"
# What shapes the zip's bytes: the compilers' own version lines, and the Debian packages they
# and zip come from. The same commit built with these gives the same zip.
{
    "$compiler" --version | sed -n 1p
    i686-w64-mingw32-windres --version | sed -n 1p
    dpkg-query -W -f='${Package} ${Version}\n' g++-mingw-w64-i686-win32 gcc-mingw-w64-i686-win32 \
        gcc-mingw-w64-i686-win32-runtime gcc-mingw-w64-base binutils-mingw-w64-i686 \
        mingw-w64-i686-dev mingw-w64-common zip
} >"dist/Skarvel-$version.toolchain"
echo "== Done: dist/Skarvel-$version.zip (Skarvel.dll: $size bytes, stripped), built with the" \
    "versions in dist/Skarvel-$version.toolchain"
sha256sum "dist/Skarvel-$version.zip"
