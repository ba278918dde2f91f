#!/usr/bin/env bash
# scripts/install-packages.sh without apt or root: which packages it installs (32-bit kernel or
# not × installed or missing), and that only a package that cannot be installed fails it, an
# index that fails to download does not. apt-get, dpkg and id are stand-ins that log their calls.
set -uo pipefail
source "$(dirname "$0")/../lib/harness.sh"
source "$harness_root/scripts/install-packages.sh"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The packages "installed" here: these two.
installed() { [[ $1 == cmake || $1 == wine32:i386 ]]; }

# 32-bit kernel | packages asked for | those chosen to install
while IFS='|' read -r runs32 asked want; do
    read -r -a asked <<<"$asked"
    got=$(choose_packages "$runs32" "${asked[@]}" | tr '\n' ' ')
    if [ "${got% }" = "$want" ]; then
        ok "choose $runs32 ${asked[*]}: ${want:-nothing}"
    else
        fail "choose $runs32 ${asked[*]}" "wanted: $want" "got:    ${got% }"
    fi
done <<'TABLE'
yes|cmake wine64 wine32:i386 xvfb|wine64 xvfb
yes|wine64 libc6:i386|wine64 libc6:i386
no|cmake wine64 wine32:i386 libc6:i386|wine64
no|cmake|
TABLE

# install MODE UPDATE INSTALL [ARGS...]: runs main with stand-ins; UPDATE and INSTALL are the
# statuses apt-get update and apt-get install end with (INSTALL: "1,0" fails the first try only).
install() {
    local runs32=$1 update=$2 install=$3
    shift 3
    mkdir -p "$scratch/bin"
    printf '#!/bin/sh\necho 0\n' >"$scratch/bin/id"
    printf '#!/bin/sh\nexit 0\n' >"$scratch/bin/dpkg"
    cat >"$scratch/bin/apt-get" <<STUB
#!/bin/bash
echo "apt-get \$*" >>"$scratch/calls"
if [ "\$1" = update ]; then echo "E: Failed to fetch an index. Mirror sync in progress?"; exit $update; fi
n=\$(grep -c install "$scratch/calls"); IFS=, read -r -a s <<<"$install"
echo "E: Unable to correct problems (try \$n)"; exit \${s[\$((n - 1))]:-\${s[0]}}
STUB
    chmod +x "$scratch/bin"/*
    rm -f "$scratch/calls"
    output=$(PATH="$scratch/bin:$PATH" TMPDIR=$scratch bash -c "source '$harness_root/scripts/install-packages.sh'
        installed() { false; }; runs_32_bit() { $runs32; }; main \"\$@\"" main "$@" 2>&1)
    status=$?
}

# 32-bit kernel | update's status | install's | options and packages | status | printed
while IFS='|' read -r runs32 update install args want_status want_text; do
    read -r -a args <<<"$args"
    install "$runs32" "$update" "$install" "${args[@]}"
    if [ "$status" = "$want_status" ] && [[ $output == *"$want_text"* ]]; then
        ok "install ($runs32, update $update, install $install) ${args[*]}: $want_status"
    else
        fail "install ($runs32, update $update, install $install) ${args[*]}" \
            "wanted status $want_status and: $want_text" "got status $status:" "$output" \
            "apt-get was called: $(cat "$scratch/calls" 2>/dev/null)"
    fi
done <<'TABLE'
true|100|0|wine64|0|apt-get update failed in part; going on
true|100|1,0|wine64|0|trying again with the
true|0|1|wine64|1|installing wine64 failed
true|100|1|wine64|1|and of apt-get install
false|0|0|--need-32-bit wine64 wine32:i386|3|runs no 32-bit programs
false|0|0|wine64 wine32:i386|0|Not installing wine32:i386
TABLE
[[ $(cat "$scratch/calls" 2>/dev/null) != *i386* ]] || fail "wine32:i386 was installed on a kernel without 32-bit"
finish
