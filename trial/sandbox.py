"""The sandbox the trial runs Wine in. The kernel keeps the trial's promise, not the trial: in
mount, PID, network and IPC namespaces of its own, the whole file system is read-only; /tmp,
/run and /dev/shm are private and empty; /dev holds only the harmless devices; and only the
places the plan names are writable: folders bound as they are, and overlays whose upper folders
lie in those. Every capability is dropped before the command runs, so nothing inside can mount
or remount. Everything inside ends with the trial, even when it is killed outright: the trial's
death kills unshare, unshare's kills the namespace's first process, and that ends the rest.

    python3 -P -m trial.sandbox PLAN -- COMMAND...

is what command() runs inside unshare: it mounts what the JSON PLAN names, then runs COMMAND.
PLAN: {"read": [PATH...], "write": [PATH...], "overlays": [[LOWER, UPPER, WORK], ...]}. Each
overlay is mounted over LOWER itself, so its files keep their paths; READ are places under /tmp
that must stay visible (read-only)."""
import ctypes
import json
import os
import subprocess
import sys

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FAILED = 125  # the status when the sandbox could not be made
DEVICES = ("null", "zero", "full", "random", "urandom", "tty")
MS_BIND, MS_REC, MS_NOSUID, MS_NODEV = 0x1000, 0x4000, 0x2, 0x4
MOUNT_ATTR_RDONLY, AT_RECURSIVE, AT_FDCWD, SYS_MOUNT_SETATTR = 0x1, 0x8000, -100, 442


def command(plan, inner, as_root, isolate):
    """The command that runs INNER in the sandbox PLAN describes. An ordinary user gets a user
    namespace of its own, in which it is root with every capability until COMMAND runs. With
    isolate, the network too is the sandbox's own (none): no socket outside can be reached."""
    users = [] if as_root else ["--user", "--map-root-user"]
    return [
        "setpriv",
        "--pdeathsig",
        "KILL",
        "--",
        "unshare",
        *users,
        "--mount",
        "--propagation",
        "private",
        "--pid",
        "--fork",
        "--kill-child",
        "--mount-proc",
        *(["--net"] if isolate else []),
        "--ipc",
        "--",
        sys.executable,
        "-P",
        "-m",
        "trial.sandbox",
        json.dumps(plan),
        "--",
        *inner,
    ]


def available(as_root):
    """Whether this machine lets the trial make the sandbox's namespaces; the lines that say
    what to enable when it does not."""
    empty = command({"read": [], "write": [], "overlays": []}, ["true"], as_root, isolate=True)
    if (
        subprocess.run(
            empty, timeout=60, env=dict(os.environ, PYTHONPATH=SOURCE), capture_output=True
        ).returncode
        == 0
    ):
        return None
    return (
        "this machine gives the trial no sandbox: unshare cannot make the namespaces it needs.",
        "As an ordinary user that takes unprivileged user namespaces: on Debian"
        " 'sysctl kernel.unprivileged_userns_clone=1',",
        "under AppArmor"
        " 'sysctl kernel.apparmor_restrict_unprivileged_userns=0'; or run it as root"
        " (in a container: docker run --privileged).",
    )


class MountAttr(ctypes.Structure):
    _fields_ = [
        ("attr_set", ctypes.c_uint64),
        ("attr_clr", ctypes.c_uint64),
        ("propagation", ctypes.c_uint64),
        ("userns_fd", ctypes.c_uint64),
    ]


_libc = ctypes.CDLL(None, use_errno=True)


def _check(result, what):
    if result != 0:
        number = ctypes.get_errno()
        raise OSError(number, f"{what}: {os.strerror(number)}")


def mount(source, target, kind=None, flags=0, data=None):
    encode = lambda text: text.encode() if text is not None else None
    _check(
        _libc.mount(encode(source), encode(target), encode(kind), flags, encode(data)),
        f"mounting {kind or source} on {target}",
    )


def read_only(path, recursive, on=True):
    attr = MountAttr(MOUNT_ATTR_RDONLY if on else 0, 0 if on else MOUNT_ATTR_RDONLY, 0, 0)
    _check(
        _libc.syscall(
            SYS_MOUNT_SETATTR,
            AT_FDCWD,
            path.encode(),
            AT_RECURSIVE if recursive else 0,
            ctypes.byref(attr),
            ctypes.sizeof(attr),
        ),
        f"making {path} {'read-only' if on else 'writable'}",
    )


def bind(fd, target, is_dir=True):
    """Binds what fd (an O_PATH descriptor) names onto target, made first when /tmp hides it."""
    if not os.path.lexists(target):
        if is_dir:
            os.makedirs(target)
        else:
            os.makedirs(os.path.dirname(target), exist_ok=True)
            open(target, "x").close()
    mount(f"/proc/self/fd/{fd}", target, flags=MS_BIND | MS_REC)


def enter(plan):
    """Mounts what plan names. Paths are opened first: the private /tmp hides those under it."""
    opened = lambda path: os.open(path, os.O_PATH)
    reads = [(p, opened(p)) for p in plan["read"]]
    writes = [(p, opened(p)) for p in plan["write"]]
    lowers = [(lower, opened(lower)) for lower, _, _ in plan["overlays"]]
    devices = [(name, opened("/dev/" + name)) for name in DEVICES]
    read_only("/", recursive=True)
    for place in ("/tmp", "/run", "/dev"):
        mount("tmpfs", place, "tmpfs", MS_NOSUID, "mode=1777" if place == "/tmp" else "mode=755")
    for name, fd in devices:
        bind(fd, "/dev/" + name, is_dir=False)
    os.mkdir("/dev/shm")
    mount("tmpfs", "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777")
    os.symlink("/proc/self/fd", "/dev/fd")
    for path, fd in sorted(reads) + sorted(writes):
        if (path, fd) in writes or not os.path.exists(path):
            bind(fd, path, os.path.isdir(f"/proc/self/fd/{fd}"))
    for path, _ in writes:
        read_only(path, recursive=True, on=False)
    for (lower, fd), (_, upper, work) in zip(lowers, plan["overlays"]):
        places = [os.open(p, os.O_PATH) for p in (upper, work)]
        os.makedirs(lower, exist_ok=True)
        mount(
            "overlay",
            lower,
            "overlay",
            0,
            "lowerdir=/proc/self/fd/%d,upperdir=/proc/self/fd/%d,"
            "workdir=/proc/self/fd/%d" % (fd, *places),
        )


def main(argv):
    plan, inner = json.loads(argv[0]), argv[2:]
    try:
        enter(plan)
    except OSError as error:
        print(f"error: the sandbox could not be made: {error.strerror or error}", flush=True)
        return FAILED
    os.execvp(
        "setpriv",
        [
            "setpriv",
            "--inh-caps=-all",
            "--ambient-caps=-all",
            "--bounding-set=-all",
            "--no-new-privs",
            "--",
            *inner,
        ],
    )


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
