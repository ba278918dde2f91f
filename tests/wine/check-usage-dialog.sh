#!/usr/bin/env bash
# Opens the module's usage dialog in the Win32 test host (a scenario that cannot be found),
# checks the six texts the host reads back from its windows (GetWindowText, in reading order),
# that they are drawn in the MS Sans Serif bitmap face and each fits its control, that a click
# on the close box closes the dialog, and saves a picture of it as a PNG. The DLL is installed
# where Orbiter looks for it, Modules\Plugin in a scratch Orbiter folder. Run it inside
# tests/wine/with-wine.sh.
#
#   tests/wine/check-usage-dialog.sh HOST_EXE MODULE_DLL PNG_FILE
set -euo pipefail
host=$(realpath "$1")
module=$(realpath "$2")
picture=$(realpath -m "$3")
here=$(cd "$(dirname "$0")" && pwd)

if ! command -v convert >/dev/null; then
    echo "SKIP: ImageMagick's convert is not installed, so no picture can be made."
    echo "      On Debian 12, as root: bash scripts/install-packages.sh imagemagick"
    exit 77
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
source "$here/../lib/harness.sh"
lay_out_orbiter "$scratch" "$module"
windows() { printf 'Z:%s' "${1//\//\\}"; }

cd "$scratch"
source "$here/run-program.sh"
run_program "$host" --root "$(windows "$scratch")" --snapshot-usage "$(windows "$scratch/usage.bmp")" \
    --close-usage -- Nowhere
if [ "$code" -ne 0 ]; then
    fail "the host ended with status $code." "$(describe_run)"
    finish
fi
shown=$(printf '%s\n' "$output" | sed -n 's/^  | //p')
# The usage dialog's texts, top to bottom.
expected=$(cat "$here/usage-texts.txt")
if [ "$shown" != "$expected" ]; then
    fail "the usage dialog's texts, top to bottom, are not the expected ones." \
        "$(diff <(printf '%s\n' "$expected") <(printf '%s\n' "$shown"))" "$(describe_run)"
    finish
fi
# The layout a Windows user sees: the bitmap face, and every text within its control.
font=$(printf '%s\n' "$output" | sed -n 's/^font: //p')
fits=$(printf '%s\n' "$output" | grep '^fit: ' || true)
echo "Usage dialog's font: $font; room each text needs, in its control's room (pixels):"
printf '%s\n' "$fits" | sed 's/^/   /'
if [ "$font" != '"MS Sans Serif" 13 px raster' ]; then
    fail "the usage dialog is not drawn in the 8-point MS Sans Serif bitmap face (13 px)." \
        "got: font $font" \
        "Check that tests/wine/with-wine.sh put sserife.fon in the prefix's Fonts folder."
    finish
fi
if [ "$(printf '%s\n' "$fits" | grep -c '^fit: ok ')" -ne 6 ]; then
    fail "not every one of the six texts fits its control; 'cut' marks those that do not." "$fits"
    finish
fi
# Closed as a person closes it: a click on the caption's close box, which the module answers
# by closing its dialog through Orbiter.
closing=$(printf '%s\n' "$output" | sed -n '/^user: close usage$/,$p')
if [ "$(printf '%s\n' "$closing" | sed -n 2p)" != "dialog: close 102" ]; then
    fail "a click on the usage dialog's close box did not close it." "$(describe_run)"
    finish
fi
if [ ! -s usage.bmp ]; then
    fail "the host saved no picture of the usage dialog." "$(describe_run)"
    finish
fi
mkdir -p "$(dirname "$picture")"
convert usage.bmp "png:$picture"
ok "the usage dialog shows its six texts in order, each fits, and its close box closes it;"
echo "    picture: $picture"
finish
