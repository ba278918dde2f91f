#!/usr/bin/env bash
# Renews docs/usage-dialog.png: builds the 32-bit DLL and the Win32 test host, opens the usage
# dialog under Wine and saves its picture.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "== Building the 32-bit DLL and the Win32 test host (preset mingw-i686)"
cmake --preset mingw-i686 >/dev/null && cmake --build --preset mingw-i686 >/dev/null
tests/wine/with-wine.sh i686 build/mingw-i686/wineprefix \
    tests/wine/check-usage-dialog.sh build/mingw-i686/tests/win32-host/orbiter.exe \
    build/mingw-i686/Skarvel.dll docs/usage-dialog.png
