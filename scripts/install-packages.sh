#!/usr/bin/env bash
# Installs the Debian packages named on the command line, those that are missing only.
# A name with ":i386" needs the i386 architecture, which is added first when it is not.
set -euo pipefail

missing=()
for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "error: these Debian packages are missing: ${missing[*]}" >&2
    echo "       run this command as root, or install them with apt-get first." >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
    ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "== Adding the i386 architecture (for 32-bit Wine)"
    dpkg --add-architecture i386
fi
echo "== Installing Debian packages: ${missing[*]} (this can take a few minutes)"
if ! apt-get update -q >/tmp/skarvel-apt-update.log 2>&1; then
    echo "error: apt-get update failed; see /tmp/skarvel-apt-update.log" >&2
    exit 1
fi
if ! apt-get install -y -q "${missing[@]}" >/tmp/skarvel-apt-install.log 2>&1; then
    echo "error: installing ${missing[*]} failed; see /tmp/skarvel-apt-install.log" >&2
    tail -n 20 /tmp/skarvel-apt-install.log >&2
    exit 1
fi
echo "== Installed."
