"""What the trial runs inside its sandbox (trial.sandbox): Xvfb, a Wine session of the run's own,
the request probe, and Orbiter, while the staging file, the windows and the screen are watched.

    python3 -P -m trial.inside JOB

JOB is a Job in JSON. With setup it sets up the Wine prefix it names and ends. Else it runs
Orbiter. What it says goes over the channel, a pipe that only this process holds, and that no
other process of the sandbox can reach (this one is not dumpable, so /proc shows its descriptors
to none of them): lines ["say", LINE], ["error", LINES] and at the end ["facts", FACTS]. Its
children need no stopping: when it ends, the sandbox's PID namespace ends them all. Its standard
input is /dev/null (the trial's run_in_sandbox), so theirs is too."""
import collections
import contextlib
import ctypes
import json
import os
import stat
import subprocess
import sys
import threading
import time
from dataclasses import asdict, dataclass

from trial import verdict

SCREEN = (1024, 768)
LIMIT = 600  # seconds for a step that waits on Wine's progress: never reached while it runs
SCENARIO_LIMIT = 1 << 20  # bytes of a scenario compared with what was staged
PR_SET_DUMPABLE = 4
WINDOWS = ["xwininfo", "-root", "-tree"]  # every window on the display, with its title
QUIET = dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)  # output no one reads


@dataclass(frozen=True)
class Job:
    source: str  # the source tree, as seen inside
    arch: str
    channel: int
    display: str = ""  # the number of a display of the sandbox's own, or "": start Xvfb
    setup: str = ""  # the Wine prefix to set up, instead of a run
    folder: str = ""
    run: str = ""
    prefix: str = ""
    probe: str = ""
    words: tuple = ()
    seconds: int = 60
    exe: str = ""
    staging: str = ""


# What the module's request code made of the command line, as the request probe printed it: the
# command line's bytes, its code page, the scenario named (completed as the module does) and the
# file found for it (or ""), those three in hexadecimal; then whether it staged, copied, paused
# and reports a missing scenario.
Probe = collections.namedtuple(
    "Probe", "line code_page scenario scenario_file staged copied paused report_missing"
)


@dataclass(frozen=True)
class Facts(verdict.Watched):
    """What the run showed here: all the verdict is drawn from but Orbiter.log's lines (the
    trial reads those), and what else the report says."""

    took: float = 0.0
    lowest_free: int = None
    shot: bool = False
    shot_error: str = None


class Fail(Exception):
    """trial.inside cannot go on; the lines say why, and go to the trial as an error."""


def send(job, kind, value):
    os.write(job.channel, (json.dumps([kind, value]) + "\n").encode())


def read_regular(path, limit, tail=False, flags=0):
    """Up to limit bytes of path (its last ones with tail) when it is a regular file, else None:
    a file a plug-in may have swapped for a named pipe or a device is never waited on. flags adds
    to os.open's own: with os.O_NOFOLLOW, a link is not followed either."""
    try:
        fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK | os.O_CLOEXEC | flags)
    except OSError:
        return None
    with open(fd, "rb") as f:
        st = os.fstat(fd)
        if not stat.S_ISREG(st.st_mode):
            return None
        f.seek(max(0, st.st_size - limit) if tail else 0)
        return f.read(limit)


def wine_environment(job):
    """The environment in which `wine` runs Wine's loader as scripts/wine-setup.sh sets it up,
    with HOME and the scratch places in the sandbox's private /tmp."""
    os.makedirs("/tmp/home/bin")
    env = dict(
        os.environ,
        HOME="/tmp/home",
        TMPDIR="/tmp",
        XDG_CACHE_HOME="/tmp/home/.cache",
        XDG_CONFIG_HOME="/tmp/home/.config",
        XDG_DATA_HOME="/tmp/home/.local/share",
    )
    env.pop("XDG_RUNTIME_DIR", None)
    loader = 'use_wine_loader "$(wine_loader "$1")" "$2" && env -0'
    out = wine_setup(job, env, loader, "/tmp/home/bin").stdout
    return dict(item.split("=", 1) for item in os.fsdecode(out).split("\0") if "=" in item)


def wine_setup(job, env, call, path, timeout=60):
    """Runs call, a line of bash, with scripts/wine-setup.sh's functions, the machine as $1 and
    path as $2."""
    script = ["bash", "-c", 'source "$0" && ' + call, f"{job.source}/scripts/wine-setup.sh"]
    return subprocess.run([*script, job.arch, path], timeout=timeout, env=env, capture_output=True)


def start_x(server, *screen):
    """Starts an X server (Xvfb, Xephyr) on a free display, once it is ready: (PROCESS, ITS
    NUMBER), the number empty when it ended without a display."""
    read, write = os.pipe()
    process = subprocess.Popen(
        [server, "-displayfd", str(write), "-screen", *screen, "-nolisten", "tcp"],
        pass_fds=(write,),
        stdin=subprocess.DEVNULL,
        **QUIET,
    )
    os.close(write)
    with os.fdopen(read) as f:
        return process, f.readline().strip()


def in_folder(job, env, program, out, err):
    """Starts a Windows program under Wine in Orbiter's folder, with Orbiter's command line."""
    words = ["wine", program, *job.words]
    return subprocess.Popen(words, cwd=job.folder, env=env, stdout=out, stderr=err)


def probe(job, env):
    """What the module's request code makes of the command line. Its first start also brings
    Wine's session up, which under load takes its time. A file, not a pipe, takes the output: a
    program of the session may hold a pipe open for ever."""
    with open("/tmp/probe.out", "w+b") as out, open("/tmp/probe.err", "w+b") as err:
        try:  # it makes progress while it runs; LIMIT catches one that hangs
            status = in_folder(job, env, job.probe, out, err).wait(LIMIT)
        except subprocess.TimeoutExpired:
            raise Fail(f"The request probe had not ended after {LIMIT} s; Wine hangs here.")
        out.seek(0)
        err.seek(0)
        lines = out.read().decode("latin-1").splitlines()
        said = err.read().decode("utf-8", "replace").splitlines()
    found = dict(line.split(" ", 1) for line in lines if " " in line)
    try:
        flags = [found[name] == "1" for name in ("staged", "copied", "paused", "report-missing")]
        texts = found["line"], found["code-page"], found["scenario"], found.get("scenario-file", "")
        return Probe(*texts, *flags)
    except KeyError:
        raise Fail(
            f"the request probe failed under Wine (status {status}); Wine printed:",
            *(said[-8:] or ["(nothing)"]),
        )


class Watch:
    """Watches the writes to the staging file through file-system events: each write is reported
    as it is closed, so none is missed however soon the next follows. first holds the first
    content written; saved_later says other content followed (a session saving its state)."""

    def __init__(self, staging):
        self.staging, self.first, self.saved_later = staging, None, False
        scenarios = os.path.dirname(staging)
        events = ["-e", "close_write", "-e", "moved_to", "--format", "%f", scenarios]
        self.process = subprocess.Popen(
            ["inotifywait", "-m", *events], stdout=subprocess.PIPE, stderr=subprocess.PIPE
        )
        log = b""
        while b"Watches established" not in log:
            line = self.process.stderr.readline()
            if not line:
                raise Fail(f"inotifywait could not watch {scenarios}: {log.decode().strip()}")
            log += line
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        name = os.path.basename(self.staging).encode("utf-8", "surrogateescape")
        for line in self.process.stdout:
            content = read_regular(self.staging, SCENARIO_LIMIT)
            if line.rstrip(b"\n") != name or content is None:
                continue
            if self.first is None:
                self.first = content
            elif content != self.first:
                self.saved_later = True

    def stop(self):
        time.sleep(0.2)  # the events of Orbiter's last writes are read first
        self.process.kill()
        self.thread.join(5)


def screenshot(target, env):
    """Takes a picture of the display into target, a file the trial made and bound writable
    here. Returns None, or what went wrong."""
    try:
        grab = ["import", "-silent", "-window", "root", "png:-"]  # into a pipe of its own
        done = subprocess.run(grab, timeout=20, env=env, capture_output=True)
        if done.returncode != 0 or not done.stdout:
            return "ImageMagick's import failed: " + done.stderr.decode(errors="replace").strip()
        with open(target, "r+b") as f:
            f.write(done.stdout)
            f.truncate()
        return None
    except (OSError, subprocess.TimeoutExpired) as error:
        return str(error)


def run_orbiter(job, env, probe):
    """Runs Orbiter until it ends or its time is up, watching: the facts of the run."""
    watch = Watch(job.staging)
    usage_seen, shot_error, shot_taken, lowest, next_picture = False, None, False, None, 0.0
    started = time.monotonic()
    with open(os.path.join(job.run, "orbiter.out"), "wb") as out:
        orbiter = in_folder(job, env, job.exe, out, out)
    while orbiter.poll() is None and time.monotonic() - started < job.seconds:
        if not usage_seen:
            windows = subprocess.run(WINDOWS, timeout=30, env=env, capture_output=True)
            usage_seen = b'"Skarvel Usage"' in windows.stdout
        if time.monotonic() >= next_picture:  # about a second apart; the last one is kept
            shot_error = screenshot(os.path.join(job.run, "screenshot.png"), env)
            shot_taken = shot_taken or shot_error is None
            next_picture = time.monotonic() + 1
        vfs = os.statvfs(job.run)
        free = vfs.f_bavail * vfs.f_frsize
        lowest = free if lowest is None else min(lowest, free)
        time.sleep(0.1)
    status = orbiter.poll()
    took = time.monotonic() - started
    watch.stop()
    found = probe.scenario_file and os.fsdecode(bytes.fromhex(probe.scenario_file))
    content = read_regular(found, SCENARIO_LIMIT) if found else None
    named = verdict.decoded(probe.scenario, probe.code_page)
    return Facts(
        stopped=status is None,
        status=status or 0,
        seconds=job.seconds,
        usage_seen=usage_seen,
        names_staging=probe.staged and not probe.copied,
        first_written=watch.first is not None,
        saved_later=watch.saved_later,
        staged=named if watch.first is not None and content == watch.first else "",
        named=named,
        paused=probe.paused,
        empty_line=not probe.report_missing,
        took=took,
        lowest_free=lowest,
        shot=shot_taken,
        shot_error=shot_error,
    )


def run(job, env):
    """The run itself: the probe, then Orbiter; returns the facts."""
    env["WINEPREFIX"] = job.prefix
    # A prefix records the name of its Wine session's folder in /tmp, which is new here, so the
    # record is stale; two Wine programs that start at once would both mend it, and one would
    # fail. So the record goes, and the session starts (and records itself) before they do.
    with contextlib.suppress(FileNotFoundError):
        os.unlink(os.path.join(job.prefix, "wineserver"))
    subprocess.run(["wineserver", "-p"], env=env, timeout=60)
    # Wine's desktop closes about a second after the last program on it ends, and a program that
    # starts while it closes finds no display: a cmd.exe waiting on a pipe holds it.
    holder, _ = os.pipe()
    subprocess.Popen(["wine", "cmd.exe", "/k"], env=env, stdin=holder, **QUIET)
    found = probe(job, env)
    line = verdict.decoded(found.line, found.code_page)
    running = " ".join(filter(None, [os.path.basename(job.exe), line]))
    send(job, "say", f"== Running {running} in your folder, read-only (at most {job.seconds} s)")
    return run_orbiter(job, env, found)


def main(argv):
    ctypes.CDLL(None).prctl(PR_SET_DUMPABLE, 0, 0, 0, 0)
    job = Job(**json.loads(argv[0]))
    try:
        env = wine_environment(job)
        number = job.display or start_x("Xvfb", "0", "%dx%dx24" % SCREEN)[1]
        if not number:
            raise Fail("Xvfb did not start; run 'Xvfb -displayfd 1' by hand to see why.")
        env["DISPLAY"] = ":" + number
        if job.setup:
            setup = wine_setup(job, env, 'set_up_wine_prefix "$1" "$2" 2>&1', job.setup, LIMIT)
            if setup.returncode:
                lines = setup.stdout.decode("utf-8", "replace").splitlines()
                raise Fail("setting up the Wine prefix failed:", *(lines[-12:] or ["(nothing)"]))
        send(job, "facts", None if job.setup else asdict(run(job, env)))
    except Fail as failure:
        send(job, "error", failure.args)
    except Exception as error:  # anything else still ends in words
        send(job, "error", [f"{type(error).__name__}: {error}"])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
