#!/usr/bin/env bash
# Packs the add-on zip, laid out like Orbiter's folder, from a built Skarvel.dll:
#   Modules/Plugin/Skarvel.dll   stripped
#   Doc/Skarvel.txt              the users' manual (docs/Skarvel.txt), with the version
#   Doc/Skarvel-license.txt      LICENSE
# The texts get Windows line ends. The stripped DLL's header and every entry get one time
# (SOURCE_DATE_EPOCH, else the time of the commit checked out), the entries one mode, a fixed
# order and no extra attributes, so that the same DLL and texts always give the same bytes.
# The zip appears whole or not at all.
# The build calls this (target package_zip); scripts/package.sh makes the release with it.
#
#   cmake/pack-zip.sh STRIP VERSION Skarvel.dll OUTPUT.zip
set -euo pipefail
if [ $# -ne 4 ]; then
    echo "usage: $0 STRIP VERSION Skarvel.dll OUTPUT.zip" >&2
    exit 2
fi
strip=$1
version=$2
dll=$3
output=$(realpath -m "$4")
source_dir=$(cd "$(dirname "$0")/.." && pwd)

for tool in "$strip" zip; do
    if ! command -v "$tool" >/dev/null; then
        echo "error: $tool is missing, so no package can be packed." >&2
        echo "       On Debian 12, as root: bash scripts/install-packages.sh zip binutils-mingw-w64-i686" >&2
        exit 1
    fi
done
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$source_dir" log -1 --format=%ct 2>/dev/null || echo 1767225600)
fi
# strip writes a new time into the PE header: this one, rather than the clock's.
export SOURCE_DATE_EPOCH

stage=$(mktemp -d)
partial="$output.partial" # beside the output, so that the last step is a rename
trap 'rm -rf "$stage" "$partial"' EXIT
mkdir -p "$stage/Modules/Plugin" "$stage/Doc"
"$strip" --strip-all -o "$stage/Modules/Plugin/Skarvel.dll" "$dll"
sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$source_dir/docs/Skarvel.txt" >"$stage/Doc/Skarvel.txt"
sed -e 's/$/\r/' "$source_dir/LICENSE" >"$stage/Doc/Skarvel-license.txt"
entries=(Modules/Plugin/Skarvel.dll Doc/Skarvel.txt Doc/Skarvel-license.txt)
(cd "$stage" && chmod 644 "${entries[@]}" && touch -d "@$SOURCE_DATE_EPOCH" "${entries[@]}")
# -X: no extra attributes (owners, exact times); -D: no folder entries, whose times vary.
# zip keeps the local time of day, so it is read in UTC.
mkdir -p "$(dirname "$output")"
rm -f "$partial" # zip would add to an existing file
(cd "$stage" && TZ=UTC zip -q -X -D "$partial" "${entries[@]}")
mv -f "$partial" "$output"
