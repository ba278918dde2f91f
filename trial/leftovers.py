"""A clean start after a run killed outright. Each run records the processes it starts beside
itself (its display, the watcher, the desktop's holder, Orbiter) in its run folder, its own
process first, in the file "processes"; a later run ends what a run that no longer runs left
there, each only while it is still that process: the same start time in /proc/PID/stat, the same
program in its cmdline. Only folders that hold the marker a run writes are looked at; once
nothing a record names runs, it is renamed "processes.ended"."""
import os
import signal
import time

MARKER = ".skarvel-run"


def process_start(pid):
    """The start time of process pid, or None once it has ended (a zombie has)."""
    try:
        with open(f"/proc/{pid}/stat", "rb") as f:
            fields = f.read().rpartition(b")")[2].split()
    except OSError:
        return None
    return None if fields[0] == b"Z" else fields[19].decode()


def parse(text):
    """The records of a processes file: (PID, START, HOW, MARK), HOW "alone" or "group"."""
    records = []
    for line in text.splitlines():
        parts = line.split(" ", 3)
        if len(parts) == 4 and parts[0].isdigit():
            records.append((int(parts[0]), parts[1], parts[2], parts[3]))
    return records


def record(path, pid, how, mark):
    with open(path, "a") as f:
        f.write(f"{pid} {process_start(pid)} {how} {mark}\n")


def still_running(rec):
    pid, start, _, mark = rec
    if start == "None" or process_start(pid) != start:
        return False
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return mark.encode() in f.read()
    except OSError:
        return False


def _signal(rec, number):
    try:
        if rec[2] == "group":
            os.killpg(rec[0], number)
        else:
            os.kill(rec[0], number)
    except OSError:
        pass


def end_processes(records):
    """Ends those of the records that still run: TERM, then KILL after 3 s. Returns them."""
    running = [r for r in records if still_running(r)]
    for rec in running:
        _signal(rec, signal.SIGTERM)
    deadline = time.monotonic() + 3
    left = running
    while left and time.monotonic() < deadline:
        time.sleep(0.1)
        left = [r for r in left if still_running(r)]
    for rec in left:
        _signal(rec, signal.SIGKILL)
    return running


def end_recorded(path):
    """Ends what this run's own record names after its first line, and sets the record aside."""
    try:
        with open(path) as f:
            end_processes(parse(f.read())[1:])
        os.replace(path, path + ".ended")
    except FileNotFoundError:
        pass


def end_what_killed_runs_left(runs, say):
    for name in sorted(os.listdir(runs)):
        folder = os.path.join(runs, name)
        path = os.path.join(folder, "processes")
        if not (os.path.isfile(os.path.join(folder, MARKER)) and os.path.isfile(path)):
            continue
        with open(path) as f:
            records = parse(f.read())
        if records and still_running(records[0]):
            continue
        ended = end_processes(records[1:])
        if ended:
            names = ", ".join(f"{mark} (pid {pid})" for pid, _, _, mark in ended)
            say(f"== A run killed outright left these running; ended: {names} ({folder})")
        os.replace(path, path + ".ended")
