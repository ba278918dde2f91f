"""Running Orbiter: Wine through scripts/wine-setup.sh (so that its set-up is written once), a
private display, the watch of the copy's staging file, and the screenshots."""
import os
import subprocess
import tempfile
import threading
import time

SCREEN = (1024, 768)


def wine_setup(source_dir, script, *args, env=None, output=subprocess.PIPE):
    """Runs script in bash after sourcing scripts/wine-setup.sh; $1... are args."""
    return subprocess.run(["bash", "-c", 'source "$0" && ' + script,
                           os.path.join(source_dir, "scripts/wine-setup.sh"), *args],
                          env=env, stdout=output, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)


def loader(source_dir, arch):
    """(LOADER, STATUS): Wine's loader for arch, and how it starts (126: no 32-bit programs)."""
    lines = wine_setup(source_dir, 'l=$(wine_loader "$1") && echo "$l" && wine_loader_status "$l"',
                       arch).stdout.decode().split()
    return lines[0], int(lines[1])


def wine_environment(source_dir, wine_loader, shims):
    """The environment in which `wine` runs wine_loader as wine-setup.sh sets it up."""
    out = wine_setup(source_dir, 'use_wine_loader "$1" "$2" && env -0', wine_loader, shims).stdout
    return dict(item.split("=", 1) for item in out.decode("utf-8", "surrogateescape").split("\0")
                if "=" in item)


def pe_machine(path):
    """The machine field of a Windows program's PE header (0x14c x86, 0x8664 x64), or None."""
    try:
        with open(path, "rb") as f:
            head = f.read(64)
            if len(head) < 64 or head[:2] != b"MZ":
                return None
            f.seek(int.from_bytes(head[60:64], "little"))
            pe = f.read(6)
    except OSError:
        return None
    return int.from_bytes(pe[4:6], "little") if pe[:4] == b"PE\0\0" else None


def start_display():
    """Starts Xvfb on a free display: (PROCESS, DISPLAY)."""
    read, write = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0",
                             "%dx%dx24" % SCREEN, "-nolisten", "tcp"], pass_fds=(write,),
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as f:
        number = f.readline().strip()  # empty when Xvfb ended without a display
    if not number:
        xvfb.wait()
        return xvfb, None
    return xvfb, ":" + number


def hold_desktop(env, virtual_desktop, limit=60):
    """Starts Wine's session and its desktop, and a cmd.exe that reads a pipe this process holds
    open and so keeps the desktop until the pipe is closed: (PROCESS, WRITE END). Wine's desktop
    closes about a second after the last program on it ends, and a program that starts while it
    closes finds no display ("The explorer process failed to start"), as Orbiter would right
    after the trial's winepath. The desktop's process keeps the standard handles of the program
    that started it, so it is started here with none. With a virtual desktop, its window is
    waited for. The write end is None when the session or the desktop did not come up within
    limit seconds."""
    read, write = os.pipe()
    try:
        holder = subprocess.Popen(["wine", "cmd.exe", "/k"], env=env, stdin=read,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except OSError:
        os.close(write)
        raise
    finally:
        os.close(read)
    try:
        subprocess.run(["wine", "cmd.exe", "/c", "exit"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=limit)
    except subprocess.TimeoutExpired:
        os.close(write)
        return holder, None
    deadline = time.monotonic() + limit
    while virtual_desktop and b"- Wine desktop" not in subprocess.run(
            ["xwininfo", "-root", "-tree"], env=env, capture_output=True).stdout:
        if time.monotonic() > deadline:
            os.close(write)
            return holder, None
        time.sleep(0.1)
    return holder, write


def stop(process, grace=3.0):
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(grace)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class Watch:
    """Watches the writes to the staging file through file-system events: each write is reported
    as it is closed, so none is missed however soon the next follows. first holds the first
    content written; saved_later says other content followed (a session saving its state)."""

    def __init__(self, scenarios, staging):
        self.staging, self.first, self.saved_later = staging, None, False
        self.process = subprocess.Popen(
            ["inotifywait", "-m", "-e", "close_write", "-e", "moved_to", "--format", "%f",
             scenarios], stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL)
        log = b""
        while b"Watches established" not in log:
            line = self.process.stderr.readline()
            if not line:
                self.process.wait()
                raise RuntimeError(f"inotifywait could not watch {scenarios}: {log.decode().strip()}")
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
        stop(self.process)
        self.thread.join(5)


def screenshot(target, env):
    """Takes a picture of the display into target, written beside it under a temporary name and
    then renamed. Returns None, or what went wrong."""
    try:
        fd, partial = tempfile.mkstemp(dir=os.path.dirname(target),
                                       prefix="." + os.path.basename(target), suffix=".partial")
        os.close(fd)
    except OSError as error:
        return f"cannot write in {os.path.dirname(target)}: {error.strerror}"
    try:
        done = subprocess.run(["import", "-silent", "-window", "root", "png:" + partial], env=env,
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, timeout=20)
        if done.returncode != 0 or os.path.getsize(partial) == 0:
            return "ImageMagick's import failed: " + done.stderr.decode(errors="replace").strip()
        os.replace(partial, target)
        return None
    except (OSError, subprocess.TimeoutExpired) as error:
        return str(error)
    finally:
        try:
            os.unlink(partial)
        except FileNotFoundError:
            pass
