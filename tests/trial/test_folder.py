"""The user's folder as Wine finds names in it, what the trial puts into the run's upper folder,
and what it reads back as written there."""
import os
import shutil
import subprocess
import tempfile
import unittest

from trial import folder as folders


class LookupTest(unittest.TestCase):
    # name asked | what the folder lists, in its order | whether the name itself is there |
    # what Wine opens | the matches named
    ROWS = [
        ("Scenarios", ["scenarios", "Scenarios"], True, "Scenarios", ["scenarios", "Scenarios"]),
        (
            "Orbiter.cfg",
            ["ORBITER.CFG", "orbiter.cfg"],
            False,
            "ORBITER.CFG",
            ["ORBITER.CFG", "orbiter.cfg"],
        ),
        ("Modules", ["modules"], False, "modules", ["modules"]),
        ("Orbiter.log", ["Orbiter.cfg"], False, "Orbiter.log", []),
    ]

    def test_rows(self):
        for name, listed, present, chosen, matches in self.ROWS:
            with self.subTest(name):
                self.assertEqual(folders.choose(name, listed, present), (chosen, matches))


class UpperTest(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.scratch)
        self.folder, self.upper = self.mk("Orbiter"), self.mk("upper")
        for name in ("Orbiter/scenarios", "Orbiter/Config", "outside", "upper"):
            os.makedirs(self.mk(name))
        for name, text in (
            ("Orbiter/scenarios/(Current state).scn", "state"),
            ("Orbiter/scenarios/Demo.scn", "demo"),
            ("outside/keys", "keys"),
            ("Orbiter/Orbiter.cfg", "; settings\r\n"),
        ):
            open(self.mk(name), "w").write(text)
        os.symlink("../outside/keys", self.mk("Orbiter/keymap.cfg"))

    def mk(self, name):
        return os.path.join(self.scratch, name)

    def test_placed_under_wines_names(self):
        placed = folders.place(self.folder, [("", self.upper)], b"MZ dll", None)
        self.assertEqual(
            sorted(placed),
            [
                "Modules",
                "Modules/Plugin",
                "Modules/Plugin/Skarvel.dll",
                "Orbiter.cfg",
                "keymap.cfg",
                "scenarios",
                "scenarios/(Current state).scn",
            ],
        )
        self.assertEqual(
            open(self.mk("upper/Orbiter.cfg"), "rb").read(),
            b"; settings\r\nACTIVE_MODULES\r\n  Skarvel\r\nEND_MODULES\r\n",
        )
        # A link's file is copied as a file, so that a write replaces the copy, not its target.
        self.assertFalse(os.path.islink(self.mk("upper/keymap.cfg")))
        self.assertEqual(folders.written(self.upper, placed, self.folder), ([], []))

    def test_linked_plugin_folder_refused(self):
        os.symlink("../outside", self.mk("Orbiter/Modules"))
        with self.assertRaises(folders.Refused) as refused:
            folders.place(self.folder, [("", self.upper)], b"MZ", None)
        self.assertIn("Modules in your folder is a link", str(refused.exception))

    def test_written(self):
        placed = folders.place(self.folder, [("", self.upper)], b"MZ dll", None)
        open(self.mk("upper/Orbiter.cfg"), "a").write("END\r\n")  # rewritten at exit
        open(self.mk("upper/Orbiter.log"), "w").write("log")  # new
        os.makedirs(self.mk("upper/Config"))  # copied up for the file in it
        open(self.mk("upper/Config/plugin.cfg"), "w").write("x")
        os.makedirs(self.mk("upper/Images/deep"))  # a new folder
        if os.geteuid() == 0:  # a whiteout, as the overlay marks a removal
            subprocess.run(
                ["mknod", self.mk("upper/scenarios/Demo.scn"), "c", "0", "0"], check=True
            )
        self.assertEqual(
            folders.written(self.upper, placed, self.folder),
            (
                ["Config/plugin.cfg", "Images/", "Images/deep/", "Orbiter.cfg", "Orbiter.log"],
                ["scenarios/Demo.scn"] if os.geteuid() == 0 else [],
            ),
        )


class ReachedTest(unittest.TestCase):
    def test_places_a_folder_reaches(self):
        scratch = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, scratch)
        folder, outside = os.path.join(scratch, "Orbiter"), os.path.join(scratch, "outside")
        os.makedirs(os.path.join(folder, "Config/a/b/c"))
        os.makedirs(os.path.join(outside, "runs"))
        os.makedirs(os.path.join(outside, "deeper"))
        open(os.path.join(outside, "file"), "w").close()
        # link in the folder | where it leads | whether the folder reaches it there
        rows = [
            ("Textures", outside + "/runs/..", False),  # holds the run folders
            ("Scenarios", outside + "/runs", True),
            ("Config/a/b/Deep", outside + "/runs", False),  # the same place: seen once
            ("Config/a/b/c/Deeper", outside + "/deeper", False),  # deeper than four folders
            ("Meshes", outside + "/file", False),
            ("Up", scratch, False),  # holds the folder
            ("Root", "/", False),
            ("Self", folder + "/Config", False),
            ("Temp", "/tmp", False),
            ("Display", "/tmp/.X11-unix", False),
            ("Proc", "/proc/self", False),
        ]
        for link, target, _ in rows:
            os.symlink(target, os.path.join(folder, link))
        reached = [(link, os.path.realpath(target)) for link, target, reaches in rows if reaches]
        self.assertEqual(folders.reached(folder, (outside + "/runs-elsewhere",)), reached)


if __name__ == "__main__":
    unittest.main()
