#!/usr/bin/env bash
# Ticks a plug-in module in Orbiter.cfg as the launchpad's Modules tab does: the name goes into
# the block between the lines ACTIVE_MODULES and END_MODULES, indented by two blanks, and the
# block is added at the end of the file when it has none. A name already listed stays as it is.
# Every other byte of the file stays; the added lines end as the file's lines do (CR LF or LF).
#
#   scripts/tick-module.sh ORBITER_CFG NAME       (NAME: the DLL's file name without .dll)
set -euo pipefail
if [ $# -ne 2 ] || [ -z "$2" ]; then
    echo "usage: $0 ORBITER_CFG NAME" >&2
    exit 2
fi
[ -e "$1" ] || : >"$1"
NAME=$2 perl -0777 -i -pe '
    my $name = $ENV{NAME};
    my $eol = /\r\n/ ? "\r\n" : "\n";
    my @lines = split /(?<=\n)/;    # each line keeps its own line end
    sub text { my $t = shift; $t =~ s/^[ \t]+|[ \t\r\n]+$//g; $t }
    # A last line without a line end gets one, so that lines can follow it.
    sub close_last { $_[0][-1] .= $eol if @{$_[0]} && $_[0][-1] !~ /\n\z/ }
    my ($begin) = grep { text($lines[$_]) eq "ACTIVE_MODULES" } 0 .. $#lines;
    if (!defined $begin) {
        close_last(\@lines);
        push @lines, "ACTIVE_MODULES$eol", "  $name$eol", "END_MODULES$eol";
    } else {
        my $end = $begin + 1;
        $end++ while $end < @lines && text($lines[$end]) ne "END_MODULES";
        if (!grep { text($_) eq $name } @lines[$begin + 1 .. $end - 1]) {
            if ($end < @lines) {
                splice @lines, $end, 0, "  $name$eol";
            } else {    # the file ends inside the block
                close_last(\@lines);
                push @lines, "  $name$eol", "END_MODULES$eol";
            }
        }
    }
    $_ = join "", @lines;
' "$1"
