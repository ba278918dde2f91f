"""What the trial runs inside its sandbox (trial.sandbox): Xvfb, a Wine session of the run's own,
the request probe, and Orbiter, while the staging file, the windows and the screen are watched.

    python3 -P -m trial.inside JOB

JOB is JSON. With "setup" it sets up the Wine prefix it names and ends. Else it runs Orbiter and
prints the report's lines as they come, then one line "facts JSON" with what it saw; "error: "
lines and status 1 when it could not. Its children need no stopping: when it ends, the sandbox's
PID namespace ends them all."""
import json
import os
import subprocess
import sys
import threading
import time

from trial import verdict

SCREEN = (1024, 768)
LIMIT = 600  # seconds for a step that waits on Wine's progress: never reached while it runs


class Fail(Exception):
    pass


def say(*lines):
    print(*lines, sep="\n", flush=True)


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
    setup = os.path.join(job["source"], "scripts/wine-setup.sh")
    script = [
        "bash",
        "-c",
        'source "$0" && use_wine_loader "$(wine_loader "$1")" "$2" && env -0',
        setup,
        job["arch"],
        "/tmp/home/bin",
    ]
    out = subprocess.run(script, timeout=60, env=env, capture_output=True).stdout
    return dict(
        item.split("=", 1)
        for item in out.decode("utf-8", "surrogateescape").split("\0")
        if "=" in item
    )


def start_display(env):
    """Starts Xvfb on a free display and sets DISPLAY; its first line comes once it is ready."""
    read, write = os.pipe()
    subprocess.Popen(
        ["Xvfb", "-displayfd", str(write), "-screen", "0", "%dx%dx24" % SCREEN, "-nolisten", "tcp"],
        pass_fds=(write,),
        stdin=subprocess.DEVNULL,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
    )
    os.close(write)
    with os.fdopen(read) as f:
        number = f.readline().strip()  # empty when Xvfb ended without a display
    if not number:
        raise Fail("Xvfb did not start; run 'Xvfb -displayfd 1' by hand to see why.")
    env["DISPLAY"] = ":" + number


def wait(process, what):
    """Waits for a process that makes progress while it runs; LIMIT catches one that hangs."""
    try:
        return process.wait(LIMIT)
    except subprocess.TimeoutExpired:
        raise Fail(f"{what} had not ended after {LIMIT} s; Wine hangs here.")


def probe(job, env):
    """What the module's request code makes of the command line: the probe's facts. Its first
    start also brings Wine's session up, which under load takes its time. A file, not a pipe, takes
    the output: a program of the session may hold a pipe open for ever."""
    with open("/tmp/probe.out", "w+b") as out, open("/tmp/probe.err", "w+b") as err:
        started = subprocess.Popen(
            ["wine", job["probe"], *job["words"]],
            cwd=job["folder"],
            env=env,
            stdin=subprocess.DEVNULL,
            stdout=out,
            stderr=err,
        )
        status = wait(started, "The request probe")
        out.seek(0)
        err.seek(0)
        lines = out.read().decode("latin-1").splitlines()
        said = err.read().decode("utf-8", "replace").splitlines()
    facts = dict(line.split(" ", 1) for line in lines if " " in line)
    if status or "staged" not in facts:
        raise Fail(
            f"the request probe failed under Wine (status {status}); Wine printed:",
            *(said[-8:] or ["(nothing)"]),
        )
    return facts


class Watch:
    """Watches the writes to the staging file through file-system events: each write is reported
    as it is closed, so none is missed however soon the next follows. first holds the first
    content written; saved_later says other content followed (a session saving its state)."""

    def __init__(self, scenarios, staging):
        self.staging, self.first, self.saved_later = staging, None, False
        self.process = subprocess.Popen(
            [
                "inotifywait",
                "-m",
                "-e",
                "close_write",
                "-e",
                "moved_to",
                "--format",
                "%f",
                scenarios,
            ],
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            stdin=subprocess.DEVNULL,
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
            if line.rstrip(b"\n") != name:
                continue
            try:
                with open(self.staging, "rb") as f:
                    content = f.read()
            except OSError:
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
    """Takes a picture of the display into target, written under a temporary name and renamed.
    Returns None, or what went wrong."""
    partial = target + ".partial"
    try:
        done = subprocess.run(
            ["import", "-silent", "-window", "root", "png:" + partial],
            timeout=20,
            env=env,
            stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.PIPE,
        )
        if done.returncode != 0 or os.path.getsize(partial) == 0:
            return "ImageMagick's import failed: " + done.stderr.decode(errors="replace").strip()
        os.replace(partial, target)
        return None
    except (OSError, subprocess.TimeoutExpired) as error:
        return str(error)


def run_orbiter(job, env, facts):
    """Runs Orbiter until it ends or its time is up, watching; adds what it saw to facts."""
    watch = Watch(job["scenarios"], job["staging"])
    shot = os.path.join(job["run"], "screenshot.png")
    usage_seen, shot_error, shot_taken, lowest, next_picture = False, None, False, None, 0.0
    started = time.monotonic()
    with open(os.path.join(job["run"], "orbiter.out"), "wb") as out:
        orbiter = subprocess.Popen(
            ["wine", job["exe"], *job["words"]],
            cwd=job["folder"],
            env=env,
            stdin=subprocess.DEVNULL,
            stdout=out,
            stderr=out,
        )
    while orbiter.poll() is None and time.monotonic() - started < job["seconds"]:
        if not usage_seen:
            windows = subprocess.run(
                ["xwininfo", "-root", "-tree"], timeout=30, env=env, capture_output=True
            )
            usage_seen = b'"Skarvel Usage"' in windows.stdout
        if time.monotonic() >= next_picture:  # about a second apart; the last one is kept
            shot_error = screenshot(shot, env)
            shot_taken = shot_taken or shot_error is None
            next_picture = time.monotonic() + 1
        vfs = os.statvfs(job["run"])
        free = vfs.f_bavail * vfs.f_frsize
        lowest = free if lowest is None else min(lowest, free)
        time.sleep(0.1)
    status = orbiter.poll()
    took = time.monotonic() - started
    watch.stop()
    named = facts["probe"].get("scenario-file")
    try:
        with open(bytes.fromhex(named), "rb") as f:
            staged_named = watch.first is not None and f.read() == watch.first
    except (TypeError, OSError):  # no file named, or none there
        staged_named = False
    facts.update(
        status=status,
        took=took,
        usage_seen=usage_seen,
        lowest_free=lowest,
        first_written=watch.first is not None,
        saved_later=watch.saved_later,
        staged_named=staged_named,
        shot=shot if shot_taken else None,
        shot_error=shot_error,
    )


def run(job, env):
    """The run itself: the probe, then Orbiter; returns the facts."""
    env["WINEPREFIX"] = job["prefix"]
    # Wine's desktop closes about a second after the last program on it ends, and a program that
    # starts while it closes finds no display: a cmd.exe waiting on a pipe holds it.
    holder, _ = os.pipe()
    subprocess.Popen(
        ["wine", "cmd.exe", "/k"],
        env=env,
        stdin=holder,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
    )
    facts = {"probe": probe(job, env)}
    shown = verdict.decoded(facts["probe"]["line"], facts["probe"]["code-page"])
    say(
        f"== Running {' '.join(filter(None, [job['exe'], shown]))} in your folder, read-only"
        f" (at most {job['seconds']} s)"
    )
    run_orbiter(job, env, facts)
    return facts


def main(argv):
    job = json.loads(argv[0])
    try:
        env = wine_environment(job)
        if not job["show"]:
            start_display(env)
        if "setup" in job:
            script = [
                "bash",
                "-c",
                'source "$0" && set_up_wine_prefix "$1" "$2"',
                os.path.join(job["source"], "scripts/wine-setup.sh"),
                job["arch"],
                job["setup"],
            ]
            setup = subprocess.run(script, timeout=LIMIT, env=env, stdout=subprocess.DEVNULL)
            if setup.returncode:
                return 1  # the set-up has said why
            facts = {}
        else:
            facts = run(job, env)
    except Fail as failure:
        say(*(("error: " if i == 0 else "       ") + line for i, line in enumerate(failure.args)))
        return 1
    except (OSError, subprocess.SubprocessError) as error:
        say(f"error: {error}")
        return 1
    say("facts " + json.dumps(facts))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
