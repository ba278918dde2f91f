#!/usr/bin/env bash
# Installs the Debian packages named on the command line, those that are missing only.
#
# A name with ":i386" is 32-bit Wine's, which only a kernel that runs 32-bit programs can use.
# On a kernel that runs none it is left out, and said; with --need-32-bit as the first word that
# ends the command with status 3 before anything is installed. The i386 architecture is added
# before a 32-bit package is installed.
#
# An `apt-get update` that fails in part (one archive's index mid-sync, say) is said and gone
# past: apt keeps the indexes it got. Only a package that cannot be installed fails the command,
# with the last lines of both apt logs. When that happens after a partial update, the install is
# tried once more with the release's main archive preferred: a 32-bit package must have the very
# version of its 64-bit twin, and the archive whose i386 index is missing may hold a newer one.
#
# Sourced, it only defines its functions (tests/setup/check-install-packages.sh).

# Whether this kernel runs 32-bit x86 programs: the one answer every caller asks. When not, it
# leaves the reason in not_32_bit.
runs_32_bit() {
    not_32_bit=$("$(dirname "${BASH_SOURCE[0]}")/runs-32-bit.sh")
}

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# choose_packages RUNS_32_BIT PACKAGE...: prints the packages to install, a line each: those
# not installed, without the 32-bit ones when RUNS_32_BIT is "no".
choose_packages() {
    local runs32=$1 package
    shift
    for package in "$@"; do
        [[ $runs32 == no && $package == *:i386 ]] && continue
        installed "$package" || echo "$package"
    done
}

main() {
    set -euo pipefail
    local need32=no runs32=yes missing=() package
    if [ "${1:-}" = --need-32-bit ]; then
        need32=yes
        shift
    fi
    if printf '%s\n' "$@" | grep -q ':i386$' && ! runs_32_bit; then
        runs32=no
        if [ $need32 = yes ]; then
            echo "error: ${not_32_bit:-this kernel runs no 32-bit programs}, so 32-bit Wine cannot run here." >&2
            echo "       A kernel built with IA32 emulation (and not booted with ia32_emulation=0) runs them." >&2
            exit 3
        fi
        for package in "$@"; do
            [[ $package != *:i386 ]] || installed "$package" ||
                echo "== Not installing $package: ${not_32_bit:-this kernel runs no 32-bit programs}"
        done
    fi
    mapfile -t missing < <(choose_packages $runs32 "$@")
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
    local logs update_log install_log partial=no
    logs=$(mktemp -d -t skarvel-apt-XXXXXX)
    update_log=$logs/update.log install_log=$logs/install.log
    if ! apt-get update -q >"$update_log" 2>&1; then
        partial=yes
        echo "== apt-get update failed in part; going on with the indexes it got:"
        grep -E '^(E|W|Err):' "$update_log" | tail -n 5 | sed 's/^/   /'
    fi
    if apt-get install -y -q "${missing[@]}" >"$install_log" 2>&1; then
        echo "== Installed."
        return 0
    fi
    if [ $partial = yes ]; then
        local release
        release=$(. /etc/os-release && echo "$VERSION_CODENAME")
        echo "== Installing failed; trying again with the $release archive's own versions preferred"
        if apt-get install -y -q -t "$release" "${missing[@]}" >"$install_log" 2>&1; then
            echo "== Installed."
            return 0
        fi
    fi
    echo "error: installing ${missing[*]} failed. The last lines of apt-get update ($update_log):" >&2
    tail -n 8 "$update_log" | sed 's/^/       /' >&2
    echo "       and of apt-get install ($install_log):" >&2
    tail -n 15 "$install_log" | sed 's/^/       /' >&2
    echo "       Try again later if an archive was mid-sync; else install what it names by hand." >&2
    exit 1
}

[ "${BASH_SOURCE[0]}" != "$0" ] || main "$@"
