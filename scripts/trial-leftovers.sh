# Sourced by try-in-orbiter.sh: a clean start after a run killed outright. Each run records the
# processes it starts beside itself (its display, the watcher, the copy, Orbiter) in its run
# folder, its own process first, in the file "processes"; a later run ends what a run that no
# longer runs left there. A recorded process is ended only while it is still that process: the
# same start time in /proc/PID/stat, and the same program in /proc/PID/cmdline. Once nothing it
# names runs, the file is renamed "processes.ended", so that later runs need not look at it.
#
#   record_process FILE PID HOW MARK  appends "PID START HOW MARK" to FILE: HOW is "alone" (the
#                                     process) or "group" (the process group it leads), MARK a
#                                     word its command line holds
#   end_recorded FILE                 ends every process FILE records after its first line
#   end_what_killed_runs_left RUNS    for each run folder in RUNS whose run no longer runs, ends
#                                     what it recorded and says so
#   end_stale_session                 ends the Wine session of WINEPREFIX, if one runs; for this
#                                     script's own prefix only, while it holds the prefix's lock

# Sets started_at to the start time of process PID (field 22 of /proc/PID/stat), or to nothing
# once it has ended. Set, not printed, as it runs for every record.
process_start() {
    local stat fields
    started_at=
    read -r stat 2>/dev/null <"/proc/$1/stat" || return 0
    # The program's name, in parentheses, may hold blanks; the fields after it do not.
    read -r -a fields <<<"${stat##*) }"
    # A zombie has ended; only its parent has yet to hear of it.
    [ "${fields[0]}" = Z ] || started_at=${fields[19]}
}

record_process() {
    process_start "$2"
    printf '%s %s %s %s\n' "$2" "$started_at" "$3" "$4" >>"$1"
}

# still_running PID START MARK: whether PID is still the process recorded.
still_running() {
    local cmdline
    process_start "$1"
    [ -n "$2" ] && [ "$started_at" = "$2" ] || return 1
    cmdline=$(tr '\0' ' ' <"/proc/$1/cmdline" 2>/dev/null) || return 1
    [[ $cmdline == *"$3"* ]]
}

# signal_record SIGNAL HOW PID: sends SIGNAL to the process or its group.
signal_record() {
    if [ "$2" = group ]; then
        kill "-$1" -- "-$3" 2>/dev/null || true
    else
        kill "-$1" "$3" 2>/dev/null || true
    fi
}

# Ends the processes of the records on standard input ("PID START HOW MARK") that still run:
# TERM first, KILL those left after 3 s. Prints "MARK (pid PID)" for each.
end_processes() {
    local pid start how mark record records=() running _
    while read -r pid start how mark; do
        still_running "$pid" "$start" "$mark" || continue
        records+=("$pid $start $how $mark")
        printf '%s (pid %s)\n' "$mark" "$pid"
        signal_record TERM "$how" "$pid"
    done
    for _ in $(seq 30); do
        running=()
        for record in "${records[@]}"; do
            read -r pid start how mark <<<"$record"
            ! still_running "$pid" "$start" "$mark" || running+=("$record")
        done
        records=("${running[@]}")
        [ ${#records[@]} -gt 0 ] || return 0
        sleep 0.1
    done
    for record in "${records[@]}"; do
        read -r pid start how mark <<<"$record"
        signal_record KILL "$how" "$pid"
    done
}

end_recorded() {
    [ -f "$1" ] || return 0
    tail -n +2 "$1" | end_processes >/dev/null
    mv -f "$1" "$1.ended"
}

end_what_killed_runs_left() {
    local record pid start how mark ended
    for record in "$1"/*/processes; do
        [ -f "$record" ] || continue
        read -r pid start how mark <"$record" || true
        ! still_running "$pid" "$start" "$mark" || continue
        ended=$(tail -n +2 "$record" | end_processes)
        if [ -n "$ended" ]; then
            echo "== A run killed outright left these running; ended: ${ended//$'\n'/, } (${record%/processes})"
        fi
        mv -f "$record" "$record.ended"
    done
}

end_stale_session() {
    wineserver -k0 >/dev/null 2>&1 || return 0
    echo "== Ending the Wine session that a run killed outright left in $WINEPREFIX"
    wineserver -k >/dev/null 2>&1 || true
}
