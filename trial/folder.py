"""The user's folder as Wine sees it, and the run's upper folder over it: names looked up as Wine
looks them up, what the trial puts into the upper folder before Orbiter starts, and what Orbiter
wrote there. The user's folder is only read, and only these few names in it."""
import io
import lzma
import os
import re
import shutil
import stat
import zipfile
import zlib

from trial import module_list

DLL = "Modules/Plugin/Skarvel.dll"
DLL_LIMIT = 65536  # the package step refuses a larger DLL
NOT_OURS = "; is it Skarvel's add-on zip?"  # the end of each refusal of a zip's DLL
DAMAGED = (zipfile.BadZipFile, OSError, EOFError, zlib.error, lzma.LZMAError, NotImplementedError)
# The files Orbiter writes in its folder that may be there already.
WRITES = ("Scenarios/(Current state).scn", "Orbiter.log", "Device.dat", "keymap.cfg")


class Refused(Exception):
    """The folder or the zip cannot be tried; the message says why."""


def choose(name, listed, present):
    """The entry Wine opens for name in a folder that lists listed (in its own order): name itself
    when present, else the first entry that matches case-blind, else name. Returns (CHOSEN,
    MATCHES)."""
    matches = [entry for entry in listed if entry.lower() == name.lower()]
    return (name if present or not matches else matches[0]), matches


def windows_path(base, *names, told=None):
    """The path Wine opens for base\\name\\...; where several entries match a name case-blind,
    the line that says which is used goes into told (once each)."""
    path = base
    for name in names:
        try:
            listed = os.listdir(path)
        except OSError:
            listed = []
        chosen, matches = choose(name, listed, os.path.lexists(os.path.join(path, name)))
        if len(matches) > 1 and told is not None:
            line = (
                f"== In {path}, these match \"{name}\" case-blind: {', '.join(matches)};"
                f" Wine opens {chosen}, and so does this run"
            )
            if line not in told:
                told.append(line)
        path = os.path.join(path, chosen)
    return path


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


def read_dll(zip_path):
    """The DLL's bytes from the add-on zip, its size checked before it is read."""
    try:
        with zipfile.ZipFile(zip_path) as z:
            info = z.getinfo(DLL)
            if (info.external_attr >> 16) & 0o170000 not in (0, 0o100000):
                raise Refused(f"{zip_path}'s {DLL} is not a regular file{NOT_OURS}")
            if info.file_size > DLL_LIMIT:
                raise Refused(
                    f"{zip_path}'s {DLL} has {info.file_size} bytes, more than the 64 KiB"
                    f" a Skarvel.dll has{NOT_OURS}"
                )
            with z.open(info) as f:
                data = f.read(DLL_LIMIT + 1)
    except KeyError:
        raise Refused(f"{zip_path} holds no {DLL}{NOT_OURS}")
    except DAMAGED as error:
        raise Refused(f"{zip_path} cannot be read as a zip: {error}")
    if len(data) > DLL_LIMIT:  # its header understated it
        raise Refused(f"{zip_path}'s {DLL} unpacks to more than 64 KiB{NOT_OURS}")
    return data


def mounts():
    """The mounts of this mount namespace, in the order they were made: (MOUNT POINT, DEVICE,
    ROOT), ROOT being the folder of the device's file system that is seen there."""
    unescape = lambda text: re.sub(r"\\([0-7]{3})", lambda m: chr(int(m.group(1), 8)), text)
    with open("/proc/self/mountinfo") as f:
        fields = [line.split() for line in f]
    return [(unescape(f[4]), f[2], unescape(f[3])) for f in fields]


def identity(path, table):
    """Where path, links followed, lies on its file system, whichever mount shows it:
    (DEVICE, PATH FROM THE FILE SYSTEM'S ROOT)."""
    path = os.path.realpath(path)
    point, device, root = max(
        (m for m in table if path == m[0] or path.startswith(m[0].rstrip("/") + "/")),
        key=lambda m: len(m[0]),
    )
    return device, os.path.normpath(os.path.join(root, path[len(point) :].lstrip("/")))


def reached(folder, avoid=(), depth=4):
    """The places outside the folder that it reaches, so that they too are seen as they are and
    written in the run folder: the file systems mounted inside it, and the folders that its
    links lead to (those depth levels deep at most), but none that holds the folder or a place
    in avoid. [(PATH IN THE FOLDER, PLACE)], one a place."""
    found = {}
    for point, _, _ in mounts():
        if point.startswith(folder + "/"):
            found.setdefault(point, os.path.relpath(point, folder))
    for top, dirs, _ in os.walk(folder):  # links to folders are listed in dirs, not entered
        rel = os.path.relpath(top, folder)
        for name in [name for name in dirs if os.path.islink(os.path.join(top, name))]:
            place = os.path.realpath(os.path.join(top, name))
            inside = (place + "/").startswith(folder + "/")
            holds = any((p + "/").startswith(place.rstrip("/") + "/") for p in (folder, *avoid))
            # The machine's own places, and /tmp's sockets (a display, a Wine session).
            system = place.split("/")[1] in ("proc", "sys", "dev", "run")
            sockets = place == "/tmp" or place.startswith("/tmp/.")
            if not (inside or holds or system or sockets):
                found.setdefault(place, os.path.normpath(os.path.join(rel, name)))
        if rel != "." and rel.count("/") + 2 >= depth:  # the links below would lie deeper
            dirs.clear()
    return sorted((rel, place) for place, rel in found.items())


def place(folder, views, dll, owner):
    """Puts into the upper folders over folder and the places it reaches (views: [(PATH IN THE
    FOLDER, UPPER)]) what the run needs before Orbiter starts: the DLL in Modules\\Plugin, ticked
    in Orbiter.cfg, and a copy of each file Orbiter writes that the folder has, so that Orbiter
    can write it even where the folder is read-only to it. Each takes the name Wine finds in the
    folder, and owner (or the trial's user). Returns {PATH: (SIZE, MTIME)} of what was put there,
    PATH from the folder with "/", a folder's value None."""
    placed = {}

    def put(path, data=None):
        """Puts data at path, or, without data, a copy of the folder's file there, if any."""
        lower = windows_path(folder, *path.split("/"))
        rel = os.path.relpath(lower, folder)
        base, upper = max(
            ((b, u) for b, u in views if not b or rel.startswith(b + "/")), key=lambda v: len(v[0])
        )
        parts = rel.split("/")
        for i in range(len(base.split("/")) if base else 1, len(parts)):
            sub = "/".join(parts[:i])
            if os.path.islink(os.path.join(folder, sub)):
                if data is None:
                    return
                raise Refused(
                    f"{sub} in your folder is a link, so the module cannot be put"
                    f" into {DLL} without hiding what it leads to."
                )
            made = os.path.join(upper, os.path.relpath(sub, base or "."))
            if not os.path.isdir(made):
                os.mkdir(made)
                placed[sub] = None
                os.chown(made, *owner, follow_symlinks=False) if owner else None
        target = os.path.join(upper, os.path.relpath(rel, base or "."))
        if data is not None:
            with open(target, "wb") as f:
                f.write(data)
        elif os.path.isfile(lower):
            shutil.copyfile(lower, target)  # outside the sandbox only: before it starts
        else:
            return
        os.chown(target, *owner, follow_symlinks=False) if owner else None
        st = os.stat(target)
        placed[rel] = (st.st_size, st.st_mtime_ns)

    put(DLL, dll)
    config = windows_path(folder, "Orbiter.cfg")
    with open(config, "rb") if os.path.isfile(config) else io.BytesIO() as f:
        put("Orbiter.cfg", module_list.ticked(f.read(), b"Skarvel"))
    for path in WRITES:
        put(path)
    return placed


def written(upper, placed, lower, base=""):
    """What Orbiter wrote in a place during the run, as its upper folder holds it: (WRITTEN,
    REMOVED), sorted paths from the folder (base is the place's) with "/". A file the trial put
    there counts when it changed; a folder when the place has none of that name; a whiteout is a
    removal."""
    found, removed, stack = [], [], [""]
    base = base and base + "/"
    while stack:
        rel = stack.pop()
        with os.scandir(os.path.join(upper, rel)) as entries:
            for entry in entries:
                path, st = rel + entry.name, entry.stat(follow_symlinks=False)
                if stat.S_ISCHR(st.st_mode) and st.st_rdev == 0:
                    removed.append(base + path)
                elif stat.S_ISDIR(st.st_mode):
                    stack.append(path + "/")
                    if base + path not in placed and not os.path.lexists(os.path.join(lower, path)):
                        found.append(base + path + "/")
                elif placed.get(base + path) != (st.st_size, st.st_mtime_ns):
                    found.append(base + path)
    return sorted(found), sorted(removed)
