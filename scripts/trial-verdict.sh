# Sourced by try-in-orbiter.sh: what a trial run concludes about the module. While Orbiter runs,
# the writes to the copy's staging file Scenarios\(Current state).scn are watched; afterwards the
# verdict comes from them, from Orbiter.log, Orbiter's end and the windows seen.
#
#   name_scenario                before the run: finds the scenario the command line names
#   start_watch DIR              watches the staging file, keeping what it learns in DIR
#   stop_watch
#   conclude                     after the run: sets scenario, session, verdict and drove
#
# They read the run's variables: command_line, copy, scenarios (the copy's Scenarios folder),
# staging (its "(Current state).scn"), run_dir, processes, and after the run module_line,
# failed_line, stopped, status, seconds and usage_seen.

# The scenario the command line names, as Orbiter under Wine finds it: the last word that is not
# an option, with ".scn" added when it has a "\" or "/" and the name after the last one has no
# dot (the module's rule), looked up by Wine's own winepath from the copy, so that case, "..",
# drive letters and 8.3 short names count as they do for Orbiter. Sets named (its path here, or
# nothing when that is no file), named_shown (as the report shows it) and names_staging (1 when it
# is the staging file itself, which the module then launches as it stands, writing nothing).
name_scenario() {
    local word="" last
    named="" named_shown="" names_staging=0
    for last in "${command_line[@]}"; do
        [[ -z $last || $last == -* ]] || word=$last
    done
    [ -n "$word" ] || return 0
    last=${word##*[\\/]}
    [[ $word != *[\\/]* || $last == *.* ]] || word+=.scn
    (cd "$copy" && wine winepath -u "$word") >"$run_dir/named-scenario" 2>/dev/null 8<&- || return 0
    named=$(cat "$run_dir/named-scenario")
    rm -f "$run_dir/named-scenario"
    if ! [ -f "$named" ]; then
        named=""
        return 0
    fi
    case $named in
    "$copy"/*) named_shown=${named#"$copy"/} && named_shown=${named_shown//\//\\} ;;
    *) named_shown=$word ;;
    esac
    if [ -e "$staging" ] && [ "$(stat -L -c %d:%i -- "$named")" = "$(stat -L -c %d:%i -- "$staging")" ]; then
        names_staging=1
    fi
}

# File-system events (inotify) report each write as it is closed, so none is missed however soon
# the next follows. The first content written to the staging file is kept in DIR/first; DIR/later
# is made when other content follows (a session's end saving its state).
start_watch() {
    watched=$1
    mkdir -p "$watched"
    mkfifo "$watched/events"
    inotifywait -m -e close_write -e moved_to --format '%f' "$scenarios" \
        >"$watched/events" 2>"$watched/log" 8<&- &
    watch_pid=$!
    record_process "$processes" "$watch_pid" alone inotifywait
    read_watch_events <"$watched/events" >/dev/null 2>&1 8<&- &
    watch_reader_pid=$!
    local _
    for _ in $(seq 100); do
        [[ $(cat "$watched/log" 2>/dev/null) != *'Watches established'* ]] || return 0
        kill -0 "$watch_pid" 2>/dev/null || break
        sleep 0.05
    done
    fail "inotifywait could not watch $scenarios:" "$(cat "$watched/log" 2>/dev/null)"
}
read_watch_events() {
    local name
    while IFS= read -r name; do
        [ "$scenarios/$name" = "$staging" ] || continue
        if [ ! -e "$watched/first" ]; then
            cp "$scenarios/$name" "$watched/copy" 2>/dev/null && mv "$watched/copy" "$watched/first"
        elif ! cmp -s "$scenarios/$name" "$watched/first"; then
            touch "$watched/later"
        fi
    done
}
stop_watch() {
    [ -n "$watch_pid" ] || return 0
    # The events of Orbiter's last writes are read before the watch ends.
    sleep 0.2
    kill "$watch_pid" 2>/dev/null || true
    wait "$watch_pid" "$watch_reader_pid" 2>/dev/null || true
    watch_pid=
}

# The scenario whose bytes were staged, as the verdict names it: the one the command line names
# when it has them; else the first scenario file in the copy's Scenarios with them, in sorted
# order; else nothing. Every scenario file is looked at, whichever is named.
staged_scenario() {
    local want entry first="" sums=() others=()
    # The staging file itself is left out: it holds the staged bytes, or the state saved over them.
    [ ! -e "$staging" ] || others=(! -samefile "$staging")
    want=$(sha256sum <"$watched/first")
    mapfile -d '' sums < <(cd "$copy" && find "${scenarios#"$copy"/}" -type f -iname '*.scn' "${others[@]}" \
        -print0 | sort -z | xargs -0 -r sha256sum -z --)
    for entry in "${sums[@]}"; do
        [ -n "$first" ] || [ "${entry:0:64}" != "${want:0:64}" ] || first=${entry:66}
    done
    if [ -n "$named" ] && cmp -s "$named" "$watched/first"; then
        printf '%s' "$named_shown"
    elif [ -n "$first" ]; then
        printf '%s' "${first//\//\\}"
    fi
}

conclude() {
    local staged="" paused=running word shown_staging=${staging#"$copy"/}
    shown_staging=${shown_staging//\//\\}
    # When the command line names the staging file itself, the module writes nothing, and the
    # first write seen is a session's end saving its state.
    if [ "$names_staging" = 1 ]; then
        scenario="not staged: the command line names $shown_staging itself"
    elif [ -e "$watched/first" ]; then
        staged=$(staged_scenario)
        staged=${staged:-a scenario from outside Scenarios\\}
        scenario="staged $staged as $shown_staging"
    else
        scenario="nothing staged: $shown_staging was not written"
    fi
    if [ -e "$watched/later" ] || { [ "$names_staging" = 1 ] && [ -e "$watched/first" ]; }; then
        session="ended and saved its state over $shown_staging"
    elif [ "$stopped" = 1 ] && { [ -n "$staged" ] || [ "$names_staging" = 1 ]; }; then
        session="none ended: Orbiter was still running when it was stopped"
    else
        session="none seen"
    fi
    for word in "${command_line[@]}"; do
        [[ "$word" =~ ^-[A-Za-z]*[pP][A-Za-z]*$ ]] && paused=paused
    done
    # drove: the module was loaded and drove the launchpad, so it may be installed for real.
    drove=0
    if [ -z "$module_line" ]; then
        if [ -n "$failed_line" ]; then
            verdict="module not loaded: Orbiter failed loading ${failed_line#*Failed loading module }"
        elif [ "$stopped" = 1 ]; then
            verdict="module not loaded: Orbiter loaded no Skarvel.dll within $seconds s"
        else
            verdict="module not loaded: Orbiter never loaded it (Orbiter.log has no line for it)"
        fi
    elif [ "$stopped" = 0 ] && [ "$status" = 255 ]; then
        verdict="ended at start: this launchpad is not Orbiter 2006's"
    else
        drove=1
        if [ "$usage_seen" = 1 ]; then
            verdict="usage dialog shown"
        elif [ "$names_staging" = 1 ]; then
            verdict="launched \"$shown_staging\" as it stood, $paused"
        elif [ -n "$staged" ]; then
            verdict="launched \"$staged\" $paused"
        elif [ ${#command_line[@]} -eq 0 ]; then
            verdict="nothing launched: the command line names no scenario"
        else
            verdict="nothing launched: the scenario was not staged, and no usage dialog was seen"
        fi
    fi
}
