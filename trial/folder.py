"""The user's folder: its inventory and what changed since, the room its copy takes, the copy
Orbiter runs in, and names looked up as Wine looks them up.

Every walk follows links, as a program under Wine sees them: a link to a folder is that folder.
A folder met again inside itself is a link cycle, named and refused; a link into /proc, /sys or
/dev is refused before anything is counted. Only regular files are ever opened."""
import hashlib
import os
import pwd
import grp
import shutil
import stat
from dataclasses import dataclass

KINDS = {stat.S_IFREG: "f", stat.S_IFDIR: "d", stat.S_IFLNK: "l", stat.S_IFIFO: "p",
         stat.S_IFSOCK: "s", stat.S_IFBLK: "b", stat.S_IFCHR: "c"}
NAMES = {"f": "file", "d": "folder", "l": "symlink", "p": "named pipe", "s": "socket",
         "b": "block device", "c": "character device", "?": "other"}
SYSTEM_TREES = ("/proc", "/sys", "/dev")
BLOCK = 4096


class WalkError(Exception):
    """A walk that cannot go on; the message says why and what to do."""


@dataclass(frozen=True)
class Entry:
    kind: str  # a key of NAMES
    mode: int
    uid: int
    gid: int
    size: int  # 0 for a folder: some file systems never shrink one that once held more
    mtime: int  # nanoseconds
    digest: str = ""  # SHA-256 of a regular file outside the asset folders


def is_asset_name(name):
    name = name.lower()
    return name.startswith("textures") or name in ("meshes", "doc", "html")


def walk(root, skip_top=()):
    """Yields (PATH, STAT, VIA) for every entry under root, links followed: PATH relative with
    "/", STAT the entry's (a dangling link's own), VIA the outermost link on the way or None.
    Top-level names in skip_top are left out."""
    top = os.stat(root)
    yield from _walk(root, "", {(top.st_dev, top.st_ino): ""}, None, skip_top)


def _walk(path, rel, ancestors, via, skip):
    with os.scandir(path) as it:
        entries = sorted(it, key=lambda e: e.name)
    for entry in entries:
        if entry.name in skip:
            continue
        sub = rel + entry.name
        link_via = via
        if entry.is_symlink():
            target = os.path.realpath(entry.path)
            if in_system_tree(target):
                raise WalkError(f"{sub} is a link into {target}, a tree of the system, not files;"
                                " remove the link, or point it elsewhere.")
            link_via = via or sub
        try:
            st = os.stat(entry.path)
        except FileNotFoundError:
            st = os.lstat(entry.path)
        yield sub, st, link_via
        if stat.S_ISDIR(st.st_mode):
            key = (st.st_dev, st.st_ino)
            if key in ancestors:
                back = ancestors[key] or "the folder itself"
                raise WalkError(f"a link cycle: {sub} leads back to {back}, so the walk would"
                                " never end. Remove the link, or point it elsewhere.")
            yield from _walk(entry.path, sub + "/", {**ancestors, key: sub}, link_via, ())


def digest(path):
    sha = hashlib.sha256()
    with open(path, "rb") as f:
        while chunk := f.read(1 << 20):
            sha.update(chunk)
    return sha.hexdigest()


def take(root):
    """The inventory of root: {PATH: Entry}."""
    inventory, assets = {}, asset_folders(root)
    for rel, st, _ in walk(root):
        kind = KINDS.get(stat.S_IFMT(st.st_mode), "?")
        summed = kind == "f" and rel.split("/")[0] not in assets
        inventory[rel] = Entry(kind, stat.S_IMODE(st.st_mode), st.st_uid, st.st_gid,
                               0 if kind == "d" else st.st_size, st.st_mtime_ns,
                               digest(os.path.join(root, rel)) if summed else "")
    return inventory


def inventory_text(inventory):
    """The inventory as the run folder keeps it: a line an entry."""
    return "".join(f"{e.kind} {e.mode:o} {e.uid} {e.gid} "
                   f"{e.size} {e.mtime} {e.digest or '-'} {shown(p)}\n"
                   for p, e in sorted(inventory.items()))


def shown(path, folder=False):
    return path.replace("\t", "\\t").replace("\n", "\\n") + ("/" if folder else "")


def _name(lookup, number):
    try:
        return lookup(number)[0]
    except KeyError:
        return str(number)


@dataclass
class Change:
    path: str  # as shown
    kind: str  # new, removed or changed
    detail: str = ""  # "(folder, 3 entries)", "(size 7 -> 9, modified)"

    def __str__(self):
        return f"{self.path}: {self.kind}" + (f" {self.detail}" if self.detail else "")


def compare(was, now):
    """What differs between two inventories, sorted by path. A new or removed entry inside a new
    or removed folder is counted with that folder; a folder whose time alone changed because an
    entry in it differs is not named."""
    changes, top, touched = [], {}, set()
    for path in sorted(set(was) | set(now)):
        old, new = was.get(path), now.get(path)
        if old == new:
            continue
        parent = path.rpartition("/")[0]
        if not (old and new and old.kind == new.kind == "d"):
            touched.add(parent)
        if old and new:
            changes.append((path, old, new))
        elif parent in top:
            top[path] = top[parent]
            top[path][1] += 1
        else:
            top[path] = [len(changes), 0]
            changes.append((path, old, new))
    lines = []
    for index, (path, old, new) in enumerate(changes):
        if old and new:
            what = []
            if old.kind != new.kind:
                what.append(f"type {NAMES[old.kind]} -> {NAMES[new.kind]}")
            if old.mode != new.mode:
                what.append(f"mode {old.mode:o} -> {new.mode:o}")
            if old.uid != new.uid:
                what.append(f"owner {_name(pwd.getpwuid, old.uid)} -> {_name(pwd.getpwuid, new.uid)}")
            if old.gid != new.gid:
                what.append(f"group {_name(grp.getgrgid, old.gid)} -> {_name(grp.getgrgid, new.gid)}")
            if old.kind == new.kind:
                if old.size != new.size:
                    what.append(f"size {old.size} -> {new.size}")
                if old.mtime != new.mtime and not (new.kind == "d" and path in touched):
                    what.append("modified")
                if old.digest != new.digest and old.size == new.size:
                    what.append("content")
            if what:
                lines.append(Change(shown(path, old.kind == "d"), "changed",
                                    f"({', '.join(what)})"))
            continue
        entry = old or new
        count = top[path][1]
        detail = "" if entry.kind != "d" else "(empty folder)" if not count else \
            f"(folder, {count} {'entry' if count == 1 else 'entries'})"
        lines.append(Change(shown(path, entry.kind == "d"), "new" if new else "removed",
                            detail))
    return lines


def in_mb(size):
    return f"{size // 1000000}.{size % 1000000 // 100000} MB"


def copied_size(st):
    """What a copied entry takes, in whole blocks; nothing for what the copy leaves out."""
    if stat.S_ISREG(st.st_mode):
        return -(-st.st_size // BLOCK) * BLOCK
    return BLOCK if stat.S_ISDIR(st.st_mode) else 0


def room(root, limit):
    """Sums what the copy of root takes, and stops as soon as the sum is more than limit. Returns
    (SUM, OVER, LINKS): LINKS the top-level or nested links that lead to the most, largest first,
    as (LINK, SIZE, CUT_SHORT)."""
    total, behind, last = 0, {}, None
    for _, st, via in walk(root, skip_top=asset_folders(root)):
        size = copied_size(st)
        total += size
        if via:
            behind[via] = behind.get(via, 0) + size
            last = via
        if total > limit:
            largest = sorted(behind.items(), key=lambda item: -item[1])[:3]
            return total, True, [(link, size, link == last) for link, size in largest]
    return total, False, []


def asset_folders(root):
    return {e.name for e in os.scandir(root) if is_asset_name(e.name) and e.is_dir()}


def copy_mode(mode, is_folder, rel, writes):
    """The mode an entry gets in the copy: the user's, with the owner's write bit for folders and
    the files Orbiter writes, so that a folder read-only to the user can be tried."""
    return mode | 0o200 if is_folder or rel in writes else mode


def copy(root, into, writes=()):
    """Makes into (new) a copy of root for Orbiter to run in: every file and folder outside the
    asset folders, with modes and times, links followed; each asset folder a link to root's own.
    Returns the paths left out, as (PATH, TYPE): named pipes, sockets and devices."""
    assets = asset_folders(root)
    left_out, folders = [], []
    os.mkdir(into, 0o700)
    folders.append(("", os.stat(root)))
    for rel, st, _ in walk(root, skip_top=assets):
        source, target = os.path.join(root, rel), os.path.join(into, rel)
        if stat.S_ISDIR(st.st_mode):
            os.mkdir(target, 0o700)
            folders.append((rel, st))
            continue
        if stat.S_ISLNK(st.st_mode):
            raise WalkError(f"{rel} is a link to {os.readlink(source)}, which is not there, so it"
                            " cannot be copied; remove the link or make it lead to a file.")
        if not stat.S_ISREG(st.st_mode):
            left_out.append((rel, NAMES[KINDS.get(stat.S_IFMT(st.st_mode), "?")]))
            continue
        shutil.copyfile(source, target, follow_symlinks=True)
        os.chmod(target, copy_mode(stat.S_IMODE(st.st_mode), False, rel, writes))
        os.utime(target, ns=(st.st_atime_ns, st.st_mtime_ns))
    for name in sorted(assets):
        os.symlink(os.path.join(root, name), os.path.join(into, name))
    # Folders last, innermost first: their times change with every entry made in them.
    for rel, st in reversed(folders):
        target = os.path.join(into, rel)
        os.chmod(target, copy_mode(stat.S_IMODE(st.st_mode), True, rel, writes))
        os.utime(target, ns=(st.st_atime_ns, st.st_mtime_ns))
    return left_out


def disk_usage(root):
    """Bytes root takes on disk, links not followed."""
    total = 0
    for top, dirs, files in os.walk(root):
        for name in dirs + files:
            total += os.lstat(os.path.join(top, name)).st_blocks * 512
    return total + os.lstat(root).st_blocks * 512


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
            line = (f"== In {path}, these match \"{name}\" case-blind: {', '.join(matches)};"
                    f" Wine opens {chosen}, and so does this run")
            if line not in told:
                told.append(line)
        path = os.path.join(path, chosen)
    return path


def in_system_tree(path):
    return any(inside(path, tree) for tree in SYSTEM_TREES)


def reach(root, conflict):
    """Walks what root's links lead to, links inside them followed too (a tree of the system is
    not walked: the inventory refuses it), and returns the first conflict(LINK, TARGET) that is
    not None, LINK the path through root that leads to TARGET: a place the run would write that
    the user's folder reaches."""
    seen, stack = set(), [(root, "")]
    while stack:
        top, shown_top = stack.pop()
        for base, dirs, files in os.walk(top):
            dirs[:] = [d for d in dirs if not in_system_tree(os.path.join(base, d))]
            for name in dirs + files:
                path = os.path.join(base, name)
                if not os.path.islink(path):
                    continue
                target, link = os.path.realpath(path), shown_top + os.path.relpath(path, top)
                if target in seen or in_system_tree(target):
                    continue
                seen.add(target)
                found = conflict(link, target)
                if found:
                    return found
                if os.path.isdir(target):
                    stack.append((target, link + "/"))
    return None


def inside(path, folder):
    return path == folder or path.startswith(folder.rstrip("/") + "/")
