"""Ticking a module in Orbiter.cfg, as the launchpad's Modules tab does, on scratch files."""
import os
import tempfile
import unittest

from trial.module_list import tick


class TickTest(unittest.TestCase):
    # name | Orbiter.cfg before (None: there is none) | after ticking Skarvel
    ROWS = [
        (
            "CR LF file with a block",
            b"; keep\r\nACTIVE_MODULES\r\n  Other\r\nEND_MODULES\r\nX = 1\r\n",
            b"; keep\r\nACTIVE_MODULES\r\n  Other\r\n  Skarvel\r\nEND_MODULES\r\nX = 1\r\n",
        ),
        (
            "LF file without a block",
            b"Windowed = TRUE\n",
            b"Windowed = TRUE\nACTIVE_MODULES\n  Skarvel\nEND_MODULES\n",
        ),
        (
            "file ends inside the block",
            b" ACTIVE_MODULES \n  Other",
            b" ACTIVE_MODULES \n  Other\n  Skarvel\nEND_MODULES\n",
        ),
        (
            "name already there",
            b"ACTIVE_MODULES\n\tSkarvel \nEND_MODULES",
            b"ACTIVE_MODULES\n\tSkarvel \nEND_MODULES",
        ),
        (
            "last line without line end",
            b"A\r\nB = 2",
            b"A\r\nB = 2\r\nACTIVE_MODULES\r\n  Skarvel\r\nEND_MODULES\r\n",
        ),
        ("no file", None, b"ACTIVE_MODULES\n  Skarvel\nEND_MODULES\n"),
    ]

    def test_rows(self):
        for name, before, after in self.ROWS:
            with self.subTest(name), tempfile.TemporaryDirectory() as scratch:
                path = os.path.join(scratch, "Orbiter.cfg")
                if before is not None:
                    with open(path, "wb") as f:
                        f.write(before)
                tick(path, "Skarvel")
                with open(path, "rb") as f:
                    self.assertEqual(f.read(), after)
