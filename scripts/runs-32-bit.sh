#!/usr/bin/env bash
# Whether this machine runs 32-bit x86 Linux programs, as Wine's 32-bit loader is one: status 0
# for yes; for no, status 1 and one line on standard output that says why. Every caller asks
# here: the package installer, the test command's Wine tests, the trial.
#
# SKARVEL_NO_32_BIT=1 makes the answer "no" on any machine, so that the path of a kernel without
# 32-bit programs can be taken, and tested, on one that has them.
#
# The test: a 93-byte program that only exits is run. Only "Exec format error" says no; a place
# where nothing may run (a noexec /tmp) does not.
if [ "${SKARVEL_NO_32_BIT:-0}" = 1 ]; then
    echo "SKARVEL_NO_32_BIT=1 says to act as on a kernel that runs no 32-bit programs"
    exit 1
fi
program=$(mktemp) || exit 0
trap 'rm -f "$program"' EXIT
printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\010\64\0\0\0\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0' >"$program"
printf '\1\0\0\0\0\0\0\0\0\200\4\010\0\200\4\010\135\0\0\0\135\0\0\0\5\0\0\0\0\020\0\0' >>"$program"
printf '\270\1\0\0\0\61\333\315\200' >>"$program" # mov eax, 1; xor ebx, ebx; int 0x80: exit(0)
chmod +x "$program"
said=$(LC_ALL=C bash -c '"$0"' "$program" 2>&1)
if [[ $said == *"Exec format error"* ]]; then
    echo "this kernel runs no 32-bit programs"
    exit 1
fi
exit 0
