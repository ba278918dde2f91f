"""The trial's inventory and its compare, the room sum, the copy, link cycles and Wine's
case-blind lookup, on entries made up in place and on scratch folders."""
import os
import stat
import subprocess
import tempfile
import unittest

from trial import folder as folders
from trial.folder import Entry

FILE = Entry("f", 0o644, 54321, 54321, 10, 5, "a" * 64)
DIR = Entry("d", 0o755, 54321, 54321, 0, 5)


def changed(entry, **fields):
    return Entry(**{**entry.__dict__, **fields})


class CompareTest(unittest.TestCase):
    # name | inventory before | inventory after | the lines compare gives
    ROWS = [
        ("nothing changed", {"a": FILE}, {"a": FILE}, []),
        ("new file and folder with entries", {}, {"Device.dat": FILE, "Images": DIR,
                                                  "Images/a": DIR, "Images/a/c.png": FILE},
         ["Device.dat: new", "Images/: new (folder, 2 entries)"]),
        ("removed folders", {"Flights": DIR, "M": DIR, "M/x": FILE}, {},
         ["Flights/: removed (empty folder)", "M/: removed (folder, 1 entry)"]),
        ("size and time", {"s.scn": FILE}, {"s.scn": changed(FILE, size=12, mtime=6)},
         ["s.scn: changed (size 10 -> 12, modified)"]),
        ("same size and time, other bytes", {"o": FILE}, {"o": changed(FILE, digest="b" * 64)},
         ["o: changed (content)"]),
        ("mode", {"c": FILE}, {"c": changed(FILE, mode=0o600)}, ["c: changed (mode 644 -> 600)"]),
        ("owner and group", {"c": FILE}, {"c": changed(FILE, uid=0, gid=0)},
         ["c: changed (owner 54321 -> root, group 54321 -> root)"]),
        ("file became folder", {"O.cfg": FILE}, {"O.cfg": DIR, "O.cfg/x": DIR},
         ["O.cfg: changed (type file -> folder, mode 644 -> 755)", "O.cfg/x/: new (empty folder)"]),
        ("a folder's time changed by its entries is not named", {"S": DIR, "S/x": FILE},
         {"S": changed(DIR, mtime=9), "S/x": changed(FILE, mtime=9)}, ["S/x: changed (modified)"]),
        ("a folder's time alone", {"S": DIR}, {"S": changed(DIR, mtime=9)}, ["S/: changed (modified)"]),
        ("odd names", {"a\tb\n.scn": FILE}, {}, ["a\\tb\\n.scn: removed"]),
    ]

    def test_rows(self):
        for name, was, now, lines in self.ROWS:
            with self.subTest(name):
                self.assertEqual([str(c) for c in folders.compare(was, now)], lines)


class ScratchFolder(unittest.TestCase):
    """An Orbiter-like folder in a scratch place, each entry its own time in the past."""

    def setUp(self):
        self.scratch = tempfile.mkdtemp()
        self.addCleanup(subprocess.run, ["sh", "-c", 'chmod -R u+w "$0"; rm -rf "$0"', self.scratch])
        self.root = os.path.join(self.scratch, "Orbiter 2006")
        self.outside = os.path.join(self.scratch, "outside")
        for name in ("Scenarios/Demo.scn", "Scenarios/(Current state).scn", "Orbiter.cfg",
                     "orbiter.exe", "Config/Vessels/v1.cfg", "Textures/Earth.dds", "MESHES/dg.msh"):
            self.write(name, f"the bytes of {name}")
        os.makedirs(os.path.join(self.outside, "tex"))
        self.write("../outside/tex/Moon.dds", "a moon")
        os.symlink(os.path.join(self.outside, "tex"), self.path("Textures/Linked"))
        os.symlink("Vessels/v1.cfg", self.path("Config/Current.cfg"))
        os.mkfifo(self.path("Scenarios/pipe"))
        for n, (top, dirs, files) in enumerate(os.walk(self.root)):
            for name in files + dirs:
                os.utime(os.path.join(top, name), ns=(1146000000 * 10**9 + n, 1146000000 * 10**9 + n),
                         follow_symlinks=False)

    def path(self, name):
        return os.path.join(self.root, name)

    def write(self, name, text):
        os.makedirs(os.path.dirname(self.path(name)), exist_ok=True)
        with open(self.path(name), "w") as f:
            f.write(text)


class InventoryTest(ScratchFolder):
    def test_rows(self):
        # name | change in the folder | the lines compare gives
        rows = [
            ("written behind a link", lambda: self.write("../outside/tex/Moon.dds", "a larger moon"),
             ["Textures/Linked/Moon.dds: changed (size 6 -> 13, modified)"]),
            ("a link pointed elsewhere", lambda: (os.unlink(self.path("Config/Current.cfg")),
                                                  os.symlink("../Orbiter.cfg", self.path("Config/Current.cfg"))),
             ["Config/Current.cfg: changed (size 34 -> 24, modified)"]),
            ("same size and time", lambda: (self.write("orbiter.exe", "The bytes of orbiter.exe"),
                                            os.utime(self.path("orbiter.exe"), ns=(1, self.times["orbiter.exe"]))),
             ["orbiter.exe: changed (content)"]),
        ]
        for name, change, lines in rows:
            with self.subTest(name):
                self.times = {"orbiter.exe": os.stat(self.path("orbiter.exe")).st_mtime_ns}
                was = folders.take(self.root)
                change()
                self.assertEqual([str(c) for c in folders.compare(was, folders.take(self.root))], lines)
                self.setUp()

    def test_listed_as_found(self):
        inventory = folders.take(self.root)
        self.assertEqual(inventory["Scenarios/pipe"].kind, "p")  # listed, never opened
        self.assertEqual(inventory["Textures/Linked/Moon.dds"].digest, "")  # asset: no checksum
        self.assertNotEqual(inventory["Config/Current.cfg"].digest, "")  # a link is followed
        os.symlink("nowhere", self.path("Scenarios/gone.scn"))
        self.assertEqual(folders.take(self.root)["Scenarios/gone.scn"].kind, "l")

    def test_refused(self):
        # name | link made | where | the refusal says
        rows = [("cycle to the folder", "..", "Scenarios/up", "Scenarios/up leads back to the folder itself"),
                ("cycle inside", "..", "Config/Vessels/loop", "Config/Vessels/loop leads back to Config"),
                ("into /proc", "/proc", "Scenarios/proc", "a link into /proc"),
                ("into /sys", "/sys/kernel", "sys", "a link into /sys/kernel"),
                ("to a device", "/dev/null", "Scenarios/null.scn", "a link into /dev/null")]
        for name, target, where, says in rows:
            with self.subTest(name):
                os.symlink(target, self.path(where))
                try:
                    for step in (folders.take, lambda r: folders.room(r, 1 << 40)):
                        with self.assertRaises(folders.WalkError) as refused:
                            step(self.root)
                        self.assertIn(says, str(refused.exception))
                finally:
                    os.unlink(self.path(where))


class RoomTest(ScratchFolder):
    def test_sizes(self):
        # entry | what the copy takes of it
        for make, size in [(lambda p: open(p, "w").write("x"), 4096),
                           (lambda p: open(p, "w").write("x" * 4097), 8192),
                           (os.mkdir, 4096), (os.mkfifo, 0)]:
            path = os.path.join(self.scratch, "entry")
            make(path)
            self.assertEqual(folders.copied_size(os.stat(path)), size)
            os.rmdir(path) if os.path.isdir(path) else os.unlink(path)

    def test_stops_at_the_limit(self):
        big = os.path.join(self.outside, "big")
        os.mkdir(big)
        for i in range(200):
            open(os.path.join(big, f"f{i}"), "w").write("x")
        os.symlink(big, self.path("Big"))
        walked = []
        walk = folders.walk
        folders.walk = lambda *a, **k: (walked.append(e) or e for e in walk(*a, **k))
        self.addCleanup(setattr, folders, "walk", walk)
        total, over, largest = folders.room(self.root, 40 * 4096)
        self.assertTrue(over)
        self.assertLess(len(walked), 60, "the sum went on past the limit")
        self.assertEqual(largest[0][0], "Big")
        self.assertTrue(largest[0][2], "the walk cut short is not named as such")
        _, over, _ = folders.room(self.root, 1 << 40)
        self.assertFalse(over)


class CopyTest(ScratchFolder):
    def test_copy(self):
        os.chmod(self.path("Config/Vessels"), 0o555)
        os.chmod(self.path("Orbiter.cfg"), 0o444)
        os.chmod(self.path("orbiter.exe"), 0o555)
        copy = os.path.join(self.scratch, "copy")
        left_out = folders.copy(self.root, copy, {"Orbiter.cfg"})
        self.assertEqual(left_out, [("Scenarios/pipe", "named pipe")])
        mode = lambda p: stat.S_IMODE(os.lstat(os.path.join(copy, p)).st_mode)
        # entry | its mode in the copy: folders and the files Orbiter writes get the write bit
        for name, want in [("Config/Vessels", 0o755), ("Orbiter.cfg", 0o644), ("orbiter.exe", 0o555)]:
            self.assertEqual(mode(name), want, name)
        for name in ("Textures", "MESHES"):
            self.assertEqual(os.readlink(os.path.join(copy, name)), self.path(name))
        self.assertFalse(os.path.islink(os.path.join(copy, "Config/Current.cfg")))
        was, now = folders.take(self.root), folders.take(copy)
        del was["Scenarios/pipe"]
        differ = [c for c in folders.compare(was, now) if "mode" not in c.detail]
        self.assertEqual(differ, [])

    def test_link_to_nothing(self):
        os.symlink("nowhere", self.path("Scenarios/gone.scn"))
        with self.assertRaises(folders.WalkError) as refused:
            folders.copy(self.root, os.path.join(self.scratch, "copy"))
        self.assertIn("Scenarios/gone.scn is a link to nowhere", str(refused.exception))


class LookupTest(unittest.TestCase):
    # name asked | what the folder lists, in its order | whether the name itself is there |
    # what Wine opens | the matches named
    ROWS = [
        ("Scenarios", ["scenarios", "Scenarios"], True, "Scenarios", ["scenarios", "Scenarios"]),
        ("Orbiter.cfg", ["ORBITER.CFG", "orbiter.cfg"], False, "ORBITER.CFG", ["ORBITER.CFG", "orbiter.cfg"]),
        ("Modules", ["modules"], False, "modules", ["modules"]),
        ("Orbiter.log", ["Orbiter.cfg"], False, "Orbiter.log", []),
    ]

    def test_rows(self):
        for name, listed, present, chosen, matches in self.ROWS:
            with self.subTest(name):
                self.assertEqual(folders.choose(name, listed, present), (chosen, matches))


if __name__ == "__main__":
    unittest.main()
