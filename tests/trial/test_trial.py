"""The trial's wiring that needs no Wine: its usage and the places it may write, the report
writer, what it reads from the source tree and the zip, the leftovers of a killed run, and the
final check under a signal."""
import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

from trial import __main__ as main, folder as folders, leftovers, options, report, run

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def trial(*args, env=None, **kwargs):
    return subprocess.run([sys.executable, "-P", "-m", "trial", *args], timeout=30, **kwargs,
                          env=env or dict(os.environ, PYTHONPATH=SOURCE))


class Scratch(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp()
        self.addCleanup(subprocess.run, ["rm", "-rf", self.scratch])
        self.folder = self.mk("Orbiter")
        for name in ("Orbiter/Scenarios", "outside/tex"):
            os.makedirs(self.mk(name))

    def mk(self, name):
        return os.path.join(self.scratch, name)


class UsageTest(Scratch):
    def test_parse(self):
        # arguments | environment | what the error says
        for argv, env, says in [
            (["--bogus", "F"], {}, "unknown option --bogus."),
            (["F", "--seconds"], {}, "--seconds needs a value."),
            (["--seconds", "86401", "F"], {}, "from 1 to 86400, not '86401'"),
            (["--seconds", "07", "F"], {}, "not '07'"),
            (["--zip", "", "F"], {}, "--zip needs a value."),
            (["--keep", "F"], {}, "there is no --keep any more"),
            (["F", "G"], {}, "name one Orbiter folder"),
            ([], {}, "name the Orbiter folder"),
            (["F"], {"WINEPREFIX": "rel"}, "a relative path"),
            (["F"], {"SKARVEL_TRY_ARCH": "arm"}, "i686 or x64"),
        ]:
            with self.subTest(argv), self.assertRaises(options.Usage) as refused:
                options.parse(argv, SOURCE, env)
            self.assertIn(says, str(refused.exception))
        opts = options.parse(["--show", "F", "--", "--keep-open", "--", "-p"], SOURCE, {})
        self.assertEqual((opts.show, opts.command_line), (True, ["--keep-open", "--", "-p"]))

    def test_places(self):
        os.symlink(self.mk("outside/tex"), os.path.join(self.folder, "Textures"))
        os.makedirs(self.mk("outside/planets"))
        os.symlink("../planets", self.mk("outside/tex/Planets"))
        open(self.mk("outside/file"), "w").close()
        # --runs | --screenshot | what the refusal says, or None
        for runs, shot, says in [
            (self.mk("runs"), self.mk("shot.png"), None),
            (self.mk("Orbiter/runs"), "", "and your folder"),
            (self.scratch, "", "and your folder"),  # the folder lies inside --runs
            (self.mk("outside/tex/runs"), "", "where your folder's Textures leads"),
            (self.mk("outside/planets/runs"), "", "where your folder's Textures/Planets leads"),
            (self.mk("runs"), self.mk("outside/tex/shot.png"), "it must lie outside"),
            (self.mk("runs"), "/dev/null", "not a regular file"),
            (self.mk("runs"), self.mk("none/shot.png"), "no folder"),
            ("/dev/null", "", "is not a folder"),
            ("/etc/passwd/x", "", "/etc/passwd is not a folder"),
            ("/tmp/" + "x" * 300, "", "longer than this system allows"),
        ]:
            opts = options.Options(self.folder, [], runs=runs, screenshot=shot)
            with self.subTest(runs=runs, shot=shot):
                try:
                    options.check_places(opts)
                    got = None
                except options.Usage as refused:
                    got = str(refused)
                if says is None:
                    self.assertIsNone(got)
                else:
                    self.assertIn(says, got or "(no refusal)")

    def test_not_orbiters_folder(self):
        # what orbiter.exe holds, or None | the status | what the error says
        for exe, status, says in [(None, 1, "holds no orbiter.exe, so it is not Orbiter's folder"),
                                  (b"not a program", 1, "orbiter.exe is not a Windows program"),
                                  (b"MZ" + bytes(58) + (64).to_bytes(4, "little") + b"PE\0\0\x64\x86",
                                   1, "is a 64-bit (x64) Windows program; it must be a 32-bit")]:
            exe_path = os.path.join(self.folder, "orbiter.exe")
            if exe is not None:
                open(exe_path, "wb").write(exe)
            with self.subTest(says):
                done = trial("--runs", self.mk("runs"), self.folder, capture_output=True,
                             env=dict(os.environ, PYTHONPATH=SOURCE, SKARVEL_TRY_ARCH="i686"))
                self.assertEqual(done.returncode, status)
                self.assertIn(says, done.stderr.decode())
                self.assertFalse(os.path.exists(self.mk("runs")))

    def test_closed_output(self):
        # how standard output and error are closed | the status
        for how, status in [(dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL), 2),
                            (dict(pass_fds=(), preexec_fn=lambda: (os.close(1), os.close(2))), 2)]:
            with self.subTest(how):
                self.assertEqual(trial("--bogus", **how).returncode, status)
        read, write = os.pipe()
        os.close(read)
        done = trial("--bogus", stdout=write, stderr=write)
        os.close(write)
        self.assertEqual(done.returncode, 2)  # not 141: a closed pipe is no end


class ReportTest(unittest.TestCase):
    def test_terminal_fails(self):
        scratch = tempfile.mkdtemp()
        self.addCleanup(subprocess.run, ["rm", "-rf", scratch])
        read, write = os.pipe()
        os.close(read)
        saved = os.dup(1)
        os.dup2(write, 1)
        try:
            rep = report.Report()
            rep.say("first")
            rep.open(os.path.join(scratch, "report.txt"))
            rep.say("second")
            rep.error("third", "more")
            rep.close()
        finally:
            os.dup2(saved, 1)
            os.close(saved)
            os.close(write)
        with open(os.path.join(scratch, "report.txt")) as f:
            self.assertEqual(f.read(), "first\nsecond\nerror: third\n       more\n")


class SourceTest(Scratch):
    def test_commit_without_git(self):
        git = self.mk(".git/")
        os.makedirs(git + "refs/heads")
        # HEAD | a ref file | packed-refs | the commit read
        for head, ref, packed, commit in [
            ("ref: refs/heads/main\n", "c1\n", None, "c1"),
            ("ref: refs/heads/main\n", None, "# pack-refs\nc2 refs/heads/main\n", "c2"),
            ("c3\n", None, None, "c3"),
            (None, None, None, None)]:
            for name, text in (("HEAD", head), ("refs/heads/main", ref), ("packed-refs", packed)):
                if text is None:
                    if os.path.exists(git + name):
                        os.unlink(git + name)
                else:
                    open(git + name, "w").write(text)
            self.assertEqual(main.read_commit(self.scratch), commit)

    def test_commit_of_a_worktree(self):
        os.makedirs(self.mk("main/.git/refs/heads"))
        os.makedirs(self.mk("main/.git/worktrees/wt"))
        os.makedirs(self.mk("wt"))
        for name, text in (("wt/.git", "gitdir: ../main/.git/worktrees/wt\n"),
                           ("main/.git/worktrees/wt/HEAD", "ref: refs/heads/b\n"),
                           ("main/.git/worktrees/wt/commondir", "../..\n"),
                           ("main/.git/refs/heads/b", "c4\n")):
            open(self.mk(name), "w").write(text)
        self.assertEqual(main.read_commit(self.mk("wt")), "c4")

    def test_zip(self):
        # entry's bytes | link entry | what the refusal says, or None
        for data, link, says in [(b"MZ" * 100, False, None), (b"x" * 65537, False, "more than the 64 KiB"),
                                 (b"x", True, "not a regular file"), (None, False, "holds no")]:
            path = self.mk("a.zip")
            with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
                if data is not None:
                    info = zipfile.ZipInfo(main.DLL)
                    info.external_attr = (0o120777 if link else 0o100644) << 16
                    z.writestr(info, data)
            with self.subTest(says):
                try:
                    self.assertEqual(main.read_dll(path), data)
                    self.assertIsNone(says)
                except main.Fail as refused:
                    self.assertIn(says or "(none)", refused.args[0])

    def test_screenshot_that_fails(self):
        self.assertIn("cannot write in", run.screenshot(self.mk("none/shot.png"), dict(os.environ)))


class LeftoversTest(Scratch):
    def test_only_marked_run_folders(self):
        dead = subprocess.Popen(["true"])
        dead.wait()
        runs, sleepers = self.mk("runs/"), {}
        # run folder | its marker
        for name, marker in [("killed", True), ("user's", False)]:
            os.makedirs(runs + name)
            if marker:
                open(os.path.join(runs, name, leftovers.MARKER), "w").close()
            sleepers[name] = subprocess.Popen(["sleep", "30"])
            self.addCleanup(sleepers[name].kill)
            with open(os.path.join(runs, name, "processes"), "w") as f:
                f.write(f"{dead.pid} 1 alone true\n")  # the run that recorded it has ended
            leftovers.record(os.path.join(runs, name, "processes"), sleepers[name].pid, "alone", "sleep")
        said = []
        time.sleep(0.2)  # until /proc shows the program it runs
        leftovers.end_what_killed_runs_left(runs, said.append)
        self.assertEqual(sleepers["killed"].wait(5), -signal.SIGTERM)
        self.assertIn(f"ended: sleep (pid {sleepers['killed'].pid})", said[0])
        self.assertTrue(os.path.exists(runs + "killed/processes.ended"))
        # No marker: never touched, and what its file names is not signalled.
        self.assertIsNone(sleepers["user's"].poll())
        self.assertTrue(os.path.exists(runs + "user's/processes"))


class FinalCheckTest(Scratch):
    def test_signal_during_the_check(self):
        open(os.path.join(self.folder, "s.scn"), "w").write("before")
        t = main.Trial(options.Options(self.folder, []), report.Report())
        t.folder, t.inventory = self.folder, folders.take(self.folder)
        open(os.path.join(self.folder, "s.scn"), "w").write("after!")
        take = folders.take

        def interrupted_take(root):
            os.kill(os.getpid(), signal.SIGINT)
            return take(root)
        folders.take = interrupted_take
        self.addCleanup(setattr, folders, "take", take)
        old = signal.signal(signal.SIGINT, t.signal)
        self.addCleanup(signal.signal, signal.SIGINT, old)
        lines = []
        t.rep.say = lambda *said: lines.extend(said)
        with self.assertRaises(main.Interrupted):
            with t.held():
                t.check_user_folder()
        self.assertTrue(t.changed and t.checked)
        self.assertTrue(any(line.startswith("   s.scn: changed (") for line in lines), lines)


if __name__ == "__main__":
    unittest.main()
