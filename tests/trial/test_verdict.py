"""The verdict drawn from what a run watched and what the request probe said."""
import unittest

from trial import verdict
from trial.verdict import Watched


class VerdictTest(unittest.TestCase):
    LOADED = dict(module_line="Module Skarvel.dll ...")
    STAGED = dict(LOADED, first_written=True, staged="Scenarios\\Demo.scn")
    # what was watched | scenario | session | verdict | drove
    ROWS = [
        (
            dict(STAGED, saved_later=True, paused=True),
            "staged Scenarios\\Demo.scn as Scenarios\\(Current state).scn",
            "ended and saved its state over Scenarios\\(Current state).scn",
            'launched "Scenarios\\Demo.scn" paused',
            True,
        ),
        (
            dict(STAGED, stopped=True),
            None,
            "none ended: Orbiter was still running when it was stopped",
            'launched "Scenarios\\Demo.scn" running',
            True,
        ),
        (
            dict(LOADED, names_staging=True, first_written=True, paused=True),
            "not staged: the command line names Scenarios\\(Current state).scn itself",
            "ended and saved its state over Scenarios\\(Current state).scn",
            'launched "Scenarios\\(Current state).scn" as it stood, paused',
            True,
        ),
        (
            dict(LOADED, usage_seen=True, stopped=True),
            "nothing staged: Scenarios\\(Current state).scn was not written",
            "none seen",
            "usage dialog shown",
            True,
        ),
        (
            dict(LOADED, status=255),
            None,
            None,
            "ended at start: this launchpad is not Orbiter 2006's",
            False,
        ),
        (
            dict(LOADED, status=255, stopped=True),
            None,
            None,
            "nothing launched: the scenario was not staged, and no usage dialog was seen",
            True,
        ),
        (
            dict(LOADED, empty_line=True),
            None,
            None,
            "nothing launched: the command line names no scenario",
            True,
        ),
        (
            dict(LOADED, first_written=True, named="Scenarios\\Demo.scn"),
            "staged other bytes than Scenarios\\Demo.scn holds as Scenarios\\(Current state).scn",
            None,
            "nothing launched: the scenario was not staged, and no usage dialog was seen",
            True,
        ),
        (
            dict(failed_line="Failed loading module Modules\\Plugin\\Skarvel.dll (code 193)"),
            None,
            None,
            "module not loaded: Orbiter failed loading Modules\\Plugin\\Skarvel.dll (code 193)",
            False,
        ),
        (
            dict(stopped=True, seconds=4),
            None,
            None,
            "module not loaded: Orbiter loaded no Skarvel.dll within 4 s",
            False,
        ),
        (
            {},
            None,
            None,
            "module not loaded: Orbiter never loaded it (Orbiter.log has no line for it)",
            False,
        ),
    ]

    def test_rows(self):
        for watched, scenario, session, said, drove in self.ROWS:
            with self.subTest(said):
                got = verdict.conclude(Watched(**watched))
                self.assertEqual(
                    [w for w, g in zip((scenario, session, said, drove), got) if w is not None],
                    [g for w, g in zip((scenario, session, said, drove), got) if w is not None],
                )

    def test_could_not_try(self):
        refusal = "wine: '/root/.wine' is not owned by you, refusing to create a configuration directory there"
        # Orbiter.log written | orbiter.out | least free room | module line | why, or None
        for written, out, free, module, why in [
            (True, "", 10 << 20, "Module Skarvel.dll", None),
            (True, "wine: Unhandled page fault", None, "", None),
            (False, refusal, 10 << 20, "", f"Orbiter never started under Wine ({refusal})"),
            (True, refusal, 10 << 20, "", f"Orbiter never started under Wine ({refusal})"),
            (False, "", 10 << 20, "", "Orbiter never started under Wine"),
            (
                True,
                "0024:err:winediag:nodrv_CreateWindow Application tried to create a window, but"
                " no driver could be loaded.",
                10 << 20,
                "",
                "Wine could not reach the X display, so" " Orbiter could not show a window",
            ),
            (
                True,
                "",
                4096,
                "Module Skarvel.dll",
                "the run folders' file system filled up while" " Orbiter ran (4 KiB free)",
            ),
        ]:
            with self.subTest(out=out, free=free):
                got = verdict.could_not_try(written, out, free, module)
                self.assertEqual(got and got[0], why)


if __name__ == "__main__":
    unittest.main()
