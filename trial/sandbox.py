"""The sandbox the trial runs Wine in. The kernel keeps the trial's promise, not the trial: in
user, mount, PID, network and IPC namespaces of its own, the whole file system is read-only;
/tmp, /run and /dev/shm are private and empty; /dev holds only the harmless devices; the places
the plan names are overlays whose upper folders lie in the run folder, mounted in path order so
that none hides another, and the run folder itself is read-only but for the files the plan
binds writable. Inside, the user is unprivileged outside: an ordinary user stays who it is, root
becomes nobody. No capability, set-user-ID program or nested user namespace is left to what
runs inside, and its key ring is its own. Everything inside ends with the trial, even when it is
killed outright: the trial's death kills unshare, unshare's kills the namespace's first process,
and that ends the rest.

    python3 -P -m trial.sandbox PLAN -- COMMAND...

is what command() runs inside unshare: it mounts what the JSON PLAN (a Plan) names, then runs
COMMAND with no capabilities."""
import ctypes
import json
import os
import pwd
import signal
import subprocess
import sys
from dataclasses import asdict, dataclass

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEVICES = ("null", "zero", "full", "random", "urandom", "tty")
MS_BIND, MS_REC, MS_NOSUID, MS_NODEV = 0x1000, 0x4000, 0x2, 0x4
MOUNT_ATTR_RDONLY, MOUNT_ATTR_IDMAP, AT_RECURSIVE, AT_EMPTY_PATH = 0x1, 0x100000, 0x8000, 0x1000
AT_FDCWD, SYS_OPEN_TREE, OPEN_TREE_CLONE, SYS_MOUNT_SETATTR = -100, 428, 1, 442
SYS_KEYCTL, KEYCTL_JOIN_SESSION_KEYRING, CLONE_NEWUSER, PR_SET_PDEATHSIG = 250, 1, 0x10000000, 1


def nobody():
    """The unprivileged user root runs the sandbox as: (UID, GID)."""
    try:
        entry = pwd.getpwnam("nobody")
        return entry.pw_uid, entry.pw_gid
    except KeyError:
        return 65534, 65534


@dataclass(frozen=True)
class Overlay:
    lower: str  # the place as it is, only read
    upper: str  # where its writes land, in the run folder
    work: str  # overlayfs' scratch folder, beside upper
    at: str  # where it is seen inside: lower's own path, or one in the private /tmp


@dataclass(frozen=True)
class Plan:
    run: str = ""  # the run folder: read-only inside, but for the files in writes
    reads: tuple = ()  # (PATH, AT): PATH seen read-only at AT, a place in the private /tmp
    writes: tuple = ()  # files the trial made in the run folder, writable inside
    overlays: tuple = ()
    dirs: tuple = ()  # (PATH, AT): PATH seen writable at AT (a Wine prefix being set up)


def command(plan, inner, as_root):
    """The command that runs INNER in the sandbox PLAN describes. An ordinary user gets its user
    namespace from unshare; root makes its mounts first and then enters one (sandbox.enter). The
    network too is the sandbox's own (none): no socket outside can be reached."""
    users = "" if as_root else "--user --map-root-user"
    namespaces = f"{users} --mount --propagation private --pid --fork --kill-child --mount-proc"
    box = f"setpriv --pdeathsig KILL -- unshare {namespaces} --net --ipc --".split()
    python = [sys.executable, "-P", "-m", "trial.sandbox", json.dumps(asdict(plan))]
    return [*box, *python, "--", *inner]


def available(as_root):
    """Whether this machine lets the trial make the sandbox's namespaces; the lines that say
    what to enable when it does not."""
    empty = command(Plan(), ["true"], as_root)
    env = dict(os.environ, PYTHONPATH=SOURCE)
    if subprocess.run(empty, timeout=60, env=env, capture_output=True).returncode:
        return (
            "this machine gives the trial no sandbox: unshare cannot make the namespaces it needs.",
            "As an ordinary user that takes unprivileged user namespaces: on Debian"
            " 'sysctl kernel.unprivileged_userns_clone=1',",
            "under AppArmor 'sysctl kernel.apparmor_restrict_unprivileged_userns=0'; or run it as"
            " root (in a container: docker run --privileged).",
        )


class MountAttr(ctypes.Structure):
    _fields_ = [(name, ctypes.c_uint64) for name in ("set", "clear", "propagation", "userns")]


_libc = ctypes.CDLL(None, use_errno=True)


def _check(result, what):
    if result != 0:
        number = ctypes.get_errno()
        raise OSError(number, f"{what}: {os.strerror(number)}")


def mount(source, target, kind=None, flags=0, data=None):
    encode = lambda text: text.encode() if text is not None else None
    result = _libc.mount(encode(source), encode(target), encode(kind), flags, encode(data))
    _check(result, f"mounting {kind or source} on {target}")


def read_only(path, recursive, on=True):
    attr = MountAttr(MOUNT_ATTR_RDONLY if on else 0, 0 if on else MOUNT_ATTR_RDONLY, 0, 0)
    flags = AT_RECURSIVE if recursive else 0
    result = _libc.syscall(
        SYS_MOUNT_SETATTR, AT_FDCWD, path.encode(), flags, ctypes.byref(attr), 32
    )
    _check(result, f"making {path} {'read-only' if on else 'writable'}")


def bind(fd, target, flags=0):
    """Binds what fd (an O_PATH descriptor) names onto target, made first when /tmp hides it."""
    if not os.path.lexists(target):
        if os.path.isdir(f"/proc/self/fd/{fd}"):
            os.makedirs(target)
        else:
            os.makedirs(os.path.dirname(target), exist_ok=True)
            open(target, "x").close()
    mount(f"/proc/self/fd/{fd}", target, flags=MS_BIND | MS_REC | flags)


def user_namespace(uid, gid):
    """A descriptor of a new user namespace in which uid and gid outside are nobody's: made by
    a child, mapped by this process, which is still root outside."""
    child = os.fork()
    if child == 0:
        try:
            _libc.unshare(CLONE_NEWUSER)
            os.kill(os.getpid(), signal.SIGSTOP)  # until its namespace is mapped and opened
        finally:
            os._exit(0)
    os.waitpid(child, os.WUNTRACED)  # stopped: in its namespace
    user, group = nobody()
    for name, line in (("uid_map", f"{uid} {user} 1"), ("gid_map", f"{gid} {group} 1")):
        with open(f"/proc/{child}/{name}", "w") as f:
            f.write(line)
    namespace = os.open(f"/proc/{child}/ns/user", os.O_RDONLY)
    os.kill(child, signal.SIGKILL)
    os.waitpid(child, 0)
    return namespace


def idmapped(path):
    """As root, a copy of the mount at path on which its owner's files are nobody's, so that the
    sandbox's nobody may write over them (through the overlay) as root would; where the file
    system cannot, path itself."""
    st = os.stat(path)
    tree = _libc.syscall(SYS_OPEN_TREE, AT_FDCWD, path.encode(), OPEN_TREE_CLONE | os.O_CLOEXEC)
    attr = MountAttr(MOUNT_ATTR_IDMAP, 0, 0, user_namespace(st.st_uid, st.st_gid))
    if tree < 0 or _libc.syscall(
        SYS_MOUNT_SETATTR, tree, b"", AT_EMPTY_PATH, ctypes.byref(attr), 32
    ):
        return os.open(path, os.O_PATH)
    return tree


def become_nobody():
    """Root's way into a user namespace: root inside is nobody outside."""
    _check(_libc.setns(user_namespace(0, 0), CLONE_NEWUSER), "entering a user namespace")
    os.setgroups([])
    os.setresgid(0, 0, 0)
    os.setresuid(0, 0, 0)
    _libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL)  # a new user clears it: unshare's end is ours


def enter(plan, as_root):
    """Mounts what plan names, then leaves no way to a privilege. Paths are opened first: the
    private /tmp hides those under it."""
    opened = lambda path: os.open(path, os.O_PATH)
    run = opened(plan.run or "/")
    dirs = [(opened(path), at) for path, at in plan.dirs]
    reads = [(opened(path), at) for path, at in plan.reads]
    writes = [(opened(path), path) for path in plan.writes]
    lowers = [idmapped(o.lower) if as_root else opened(o.lower) for o in plan.overlays]
    devices = [(opened("/dev/" + name), "/dev/" + name) for name in DEVICES]
    read_only("/", recursive=True)
    for place in ("/tmp", "/run", "/dev", "/dev/shm"):
        os.makedirs(place, exist_ok=True)
        mode = "mode=1777" if place in ("/tmp", "/dev/shm") else "mode=755"
        mount("tmpfs", place, "tmpfs", MS_NOSUID | MS_NODEV * (place != "/dev"), mode)
    for fd, path in devices:
        bind(fd, path)
    os.symlink("/proc/self/fd", "/dev/fd")
    for fd, at in reads:
        bind(fd, at)
        read_only(at, recursive=True)
    for fd, at in dirs:
        bind(fd, at, MS_NOSUID | MS_NODEV)
        read_only(at, recursive=False, on=False)
    # The upper folders are written through the overlays only: the run folder is writable while
    # they are mounted (overlayfs keeps a private mount of it), then read-only again.
    if plan.run:
        bind(run, plan.run, MS_NOSUID | MS_NODEV)
        read_only(plan.run, recursive=False, on=False)
    # Each upper folder lies in the run folder, opened now through its writable mount.
    layers = [
        (o, lower, opened(o.upper), opened(o.work)) for o, lower in zip(plan.overlays, lowers)
    ]
    for o, lower, upper, work in sorted(layers, key=lambda layer: layer[0].at.split("/")):
        os.makedirs(o.at, exist_ok=True)
        data = "lowerdir=/proc/self/fd/%d,upperdir=/proc/self/fd/%d,workdir=/proc/self/fd/%d"
        mount("overlay", o.at, "overlay", MS_NOSUID | MS_NODEV, data % (lower, upper, work))
    if plan.run:
        read_only(plan.run, recursive=False)
    for fd, path in writes:
        bind(fd, path, MS_NOSUID | MS_NODEV)
        read_only(path, recursive=False, on=False)
    read_only("/proc", recursive=False, on=False)  # for the limit below
    if as_root:
        become_nobody()
    if not initial_user_namespace():  # the limit is the namespace's own, never the machine's
        with open("/proc/sys/user/max_user_namespaces", "w") as f:
            f.write("0")  # a nested user namespace would regain every capability
    ring = _libc.syscall(SYS_KEYCTL, KEYCTL_JOIN_SESSION_KEYRING, None)  # its serial number
    _check(0 if ring > 0 else -1, "joining a key ring of its own")


def initial_user_namespace():
    with open("/proc/self/uid_map") as f:  # the whole range
        return f.read().split() == ["0", "0", "4294967295"]


def main(argv):
    plan, inner = json.loads(argv[0]), argv[2:]
    plan = Plan(**dict(plan, overlays=[Overlay(**o) for o in plan["overlays"]]))
    try:
        enter(plan, initial_user_namespace())  # root, in no user namespace yet
    except OSError as error:
        print(f"error: the sandbox could not be made: {error.strerror or error}", flush=True)
        return 125
    drop = "--inh-caps=-all --ambient-caps=-all --bounding-set=-all --no-new-privs --".split()
    os.execvp("setpriv", ["setpriv", *drop, *inner])


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
