"""The trial's wiring that needs no Wine: its usage and the places it may write, the report
writer, what it reads from the source tree and the zip, and the sandbox's promise itself."""
import lzma
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

from trial import __main__ as main, folder as folders, options, report, sandbox

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ROOT = os.geteuid() == 0
PYTHON = main.PYTHON  # one that the sandbox's nobody may run


def trial(*args, env=None, as_nobody=False, **kwargs):
    user = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] if as_nobody else []
    return subprocess.run(
        [*user, PYTHON if as_nobody else sys.executable, "-P", "-m", "trial", *args],
        timeout=30,
        **kwargs,
        env=env or dict(os.environ, PYTHONPATH=SOURCE),
    )


class Scratch(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp()
        os.chmod(self.scratch, 0o755)
        self.addCleanup(subprocess.run, ["rm", "-rf", self.scratch])
        self.folder = self.mk("Orbiter")
        for name in ("Orbiter/Scenarios", "outside"):
            os.makedirs(self.mk(name))

    def mk(self, name):
        return os.path.join(self.scratch, name)


class UsageTest(Scratch):
    def test_parse(self):
        open(self.mk("file"), "w").close()
        # arguments | environment | what the error says
        for argv, env, says in [
            (["--bogus", "F"], {}, "unknown option --bogus."),
            (["F", "--seconds"], {}, "--seconds needs a value."),
            (["--seconds", "86401", "F"], {}, "from 1 to 86400, not '86401'"),
            (["--seconds", "07", "F"], {}, "not '07'"),
            (["--zip", "", "F"], {}, "--zip needs a value."),
            (["F", "G"], {}, "name one Orbiter folder"),
            ([], {}, "name the Orbiter folder"),
            (["F"], {"WINEPREFIX": "rel"}, "which is no Wine prefix"),
            (["F"], {"WINEPREFIX": self.mk("file")}, "which is no Wine prefix"),
            (["F"], {"SKARVEL_TRY_ARCH": "arm"}, "i686 or x64"),
        ]:
            with self.subTest(argv), self.assertRaises(options.Usage) as refused:
                options.parse(argv, SOURCE, env)
            self.assertIn(says, str(refused.exception))
        opts = options.parse(["--show", "F", "--", "--keep-open", "--", "-p"], SOURCE, {})
        self.assertEqual((opts.show, opts.command_line), (True, ["--keep-open", "--", "-p"]))

    def test_places(self):
        os.symlink(self.folder, self.mk("outside/alias"))
        os.symlink(self.mk("outside"), self.mk("Orbiter/Textures"))
        # --runs | --screenshot | TMPDIR | what the refusal says, or None
        rows = [
            (self.mk("runs"), self.mk("shot.png"), "", None),
            (self.mk("Orbiter/runs"), "", "", "--runs"),
            (self.mk("outside/alias/new/runs"), "", "", "--runs"),  # a link to the folder
            (self.scratch, "", "", "your Orbiter folder lies in --runs"),
            (self.mk("runs"), self.mk("outside/alias/shot.png"), "", "--screenshot"),
            (self.mk("runs"), "", self.mk("outside/alias/tmp"), "TMPDIR"),
            # Links inside the folder lead out of it: what they reach is not the folder.
            (self.mk("Orbiter/Textures/runs"), "", "", None),
            (self.mk("runs"), "/dev/null", "", "name a PNG file to write"),
            (self.mk("runs"), self.mk("none/shot.png"), "", "name a PNG file to write"),
            ("/dev/null", "", "", "is not a folder you may write in"),
            ("/etc/passwd/x", "", "", "is not a folder you may write in"),
        ]
        if ROOT:  # a second mount of the folder: no link, the same folder
            os.makedirs(self.mk("mounted"))
            subprocess.run(["mount", "--bind", self.folder, self.mk("mounted")], check=True)
            self.addCleanup(subprocess.run, ["umount", self.mk("mounted")])
            rows.append((self.mk("runs"), self.mk("mounted/shot.png"), "", "--screenshot"))
            # A mount of a folder inside it: the folder's own identity is not met on the way up.
            os.makedirs(self.mk("scenarios"))
            subprocess.run(["mount", "--bind", self.mk("Orbiter/Scenarios"), self.mk("scenarios")])
            self.addCleanup(subprocess.run, ["umount", self.mk("scenarios")])
            rows.append((self.mk("scenarios/runs"), "", "", "--runs"))
        for runs, shot, tmp, says in rows:
            opts = options.Options(self.folder, [], runs=runs, screenshot=shot)
            with self.subTest(runs=runs, shot=shot, tmp=tmp):
                try:
                    options.check_places(opts, SOURCE, {"TMPDIR": tmp} if tmp else {})
                    got = None
                except options.Usage as refused:
                    got = str(refused)
                if says is None:
                    self.assertIsNone(got)
                else:
                    self.assertIn(says, got or "(no refusal)")

    def test_refused_before_anything_runs(self):
        # The source tree in the folder: its builds and Wine prefix would land there.
        shutil.copytree(os.path.join(SOURCE, "trial"), self.mk("Orbiter/src/trial"))
        done = trial(
            "--runs",
            self.mk("runs"),
            self.folder,
            capture_output=True,
            env=dict(os.environ, PYTHONPATH=self.mk("Orbiter/src")),
        )
        self.assertEqual(done.returncode, 2, done.stderr)
        self.assertIn(b"the source tree", done.stderr)
        # A run folder the user may not write in. As root, nobody runs the trial: from a copy
        # in this test's folder, as the clone's own may lie where nobody cannot go (/root).
        os.makedirs(self.mk("closed"), 0o555)
        shutil.copytree(os.path.join(SOURCE, "trial"), self.mk("src/trial"))
        done = trial(
            *("--runs", self.mk("closed/runs"), self.folder),
            capture_output=True,
            as_nobody=ROOT,
            env=dict(os.environ, PYTHONPATH=self.mk("src")),
        )
        self.assertEqual(done.returncode, 2, done.stderr)
        self.assertIn(b"is not a folder you may write in", done.stderr)
        self.assertFalse(os.path.exists(self.mk("runs")))

    def test_not_orbiters_folder(self):
        # what orbiter.exe holds, or None | what the error says
        for exe, says in [
            (None, "holds no orbiter.exe, so it is not Orbiter's folder"),
            (b"not a program", "orbiter.exe is not a Windows program"),
            (
                b"MZ" + bytes(58) + (64).to_bytes(4, "little") + b"PE\0\0\x64\x86",
                "is a 64-bit (x64) Windows program; it must be a 32-bit",
            ),
        ]:
            exe_path = os.path.join(self.folder, "orbiter.exe")
            if exe is not None:
                with open(exe_path, "wb") as f:
                    f.write(exe)
            with self.subTest(says):
                done = trial(
                    "--runs",
                    self.mk("runs"),
                    self.folder,
                    capture_output=True,
                    env=dict(os.environ, PYTHONPATH=SOURCE, SKARVEL_TRY_ARCH="i686"),
                )
                self.assertEqual(done.returncode, 1)
                self.assertIn(says, done.stderr.decode())
                self.assertFalse(os.path.exists(self.mk("runs")))

    def test_closed_output(self):
        # how standard output and error are closed | the status
        for how, status in [
            (dict(stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL), 2),
            (dict(pass_fds=(), preexec_fn=lambda: (os.close(1), os.close(2))), 2),
        ]:
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
            (None, None, None, None),
        ]:
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
        for name, text in (
            ("wt/.git", "gitdir: ../main/.git/worktrees/wt\n"),
            ("main/.git/worktrees/wt/HEAD", "ref: refs/heads/b\n"),
            ("main/.git/worktrees/wt/commondir", "../..\n"),
            ("main/.git/refs/heads/b", "c4\n"),
        ):
            open(self.mk(name), "w").write(text)
        self.assertEqual(main.read_commit(self.mk("wt")), "c4")

    def test_zip(self):
        # entry's bytes | link entry | compression | damaged | what the refusal says, or None
        for data, link, packing, damaged, says in [
            (b"MZ" * 100, False, zipfile.ZIP_DEFLATED, False, None),
            (b"x" * 65537, False, zipfile.ZIP_DEFLATED, False, "more than the 64 KiB"),
            (b"x", True, zipfile.ZIP_DEFLATED, False, "not a regular file"),
            (None, False, zipfile.ZIP_DEFLATED, False, "holds no"),
            (b"MZ" * 100, False, zipfile.ZIP_LZMA, True, "cannot be read as a zip"),
            (b"MZ" * 100, False, zipfile.ZIP_DEFLATED, True, "cannot be read as a zip"),
        ]:
            path = self.mk("a.zip")
            with zipfile.ZipFile(path, "w", packing) as z:
                if data is not None:
                    info = zipfile.ZipInfo(folders.DLL)
                    info.external_attr = (0o120777 if link else 0o100644) << 16
                    z.writestr(info, data, packing)
            if damaged:  # the packed bytes of the entry, after its local header
                raw = bytearray(open(path, "rb").read())
                raw[60:70] = b"\xff" * 10
                open(path, "wb").write(raw)
            with self.subTest(says):
                try:
                    self.assertEqual(folders.read_dll(path), data)
                    self.assertIsNone(says)
                except folders.Refused as refused:
                    self.assertIn(says or "(none)", refused.args[0])


@unittest.skipUnless(sandbox.available(ROOT) is None, "unshare cannot make the namespaces here")
class SandboxTest(Scratch):
    """The promise the sandbox makes, kept by the kernel: checked from inside with a shell."""

    def setUp(self):
        super().setUp()
        for name in ("run/upper", "run/work"):
            os.makedirs(self.mk(name))
        open(self.mk("Orbiter/Orbiter.cfg"), "w").write("mine\n")
        open(self.mk("run/out"), "w").close()
        if ROOT:  # the sandbox's root is nobody outside, as the trial's uppers are
            for path in ("Orbiter", "Orbiter/Orbiter.cfg", "run/upper", "run/out"):
                os.chown(self.mk(path), *sandbox.nobody())
        open("/tmp/skarvel-sandbox-test", "w").close()
        self.addCleanup(os.unlink, "/tmp/skarvel-sandbox-test")

    def inside(self, script):
        overlay = sandbox.Overlay(
            self.folder, self.mk("run/upper"), self.mk("run/work"), self.folder
        )
        plan = sandbox.Plan(self.mk("run"), writes=(self.mk("run/out"),), overlays=(overlay,))
        return subprocess.Popen(
            sandbox.command(plan, ["sh", "-c", script], ROOT),
            env=dict(os.environ, PYTHONPATH=SOURCE),
            stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT,
            cwd=self.folder,
        )

    def test_promise(self):
        run = self.mk("run")
        # what the shell does | what it prints
        rows = [
            (f"echo new >{self.folder}/Orbiter.cfg && cat {self.folder}/Orbiter.cfg", "new"),
            # Even a place open to all, outside /tmp.
            ("echo x >/var/tmp/skarvel-sandbox-test", "Read-only file system"),
            # Beside the folder is the private /tmp's, when the folder lies in /tmp.
            (f"echo x >{self.folder}/../x; echo done", "done"),
            # The run folder only through the overlay, and the files the trial bound.
            (f"ln -s / {run}/work/link", "Read-only file system"),
            (f"echo said >{run}/out && cat {run}/out", "said"),
            (f"rm -f {run}/out; mkfifo {run}/out", "Read-only file system"),
            ("test -e /tmp/skarvel-sandbox-test || echo private", "private"),
            ("ls /dev | tr '\\n' ' '", "fd full null random shm tty urandom zero"),
            ("mount -o remount,rw / 2>&1 | grep -c denied", "1"),
            ("grep CapEff /proc/self/status", "0000000000000000"),
            ("echo $$", "1"),  # its own PID namespace
            # No nested user namespace, in which every capability would come back.
            ("unshare --user --map-root-user true || echo refused", "refused"),
            (f"grep -c '{self.folder} .*nosuid' /proc/self/mounts", "1"),
            (f"cd {self.folder} && cp /bin/true suid && chmod 4755 suid && echo made", "made"),
        ]
        for script, says in rows:
            with self.subTest(script):
                out = self.inside(script).communicate(timeout=30)[0].decode()
                self.assertIn(says, out)
        self.assertEqual(open(self.mk("Orbiter/Orbiter.cfg")).read(), "mine\n")
        self.assertFalse(os.path.exists(self.mk("x")))
        self.assertFalse(os.path.exists("/var/tmp/skarvel-sandbox-test"))
        self.assertEqual(open(self.mk("run/upper/Orbiter.cfg")).read(), "new\n")
        # What is made inside is no one's who has more rights than the trial's user (as root,
        # nobody's), so a set-user-ID program left there grants nothing.
        made = os.stat(self.mk("run/upper/suid"))
        self.assertEqual(made.st_uid, sandbox.nobody()[0] if ROOT else os.geteuid())

    def test_killed_outright(self):
        """The trial killed with KILL: nothing it started runs on, in the sandbox or in a slow
        build (the probe's, the package's)."""
        sleep = f"import time; time.sleep(300)  # {self.scratch}"  # this test's, no other run's
        inner = ["sh", "-c", '"$0" -c "$1" & "$0" -c "$1" & wait', PYTHON, sleep]
        for starts in (
            f"subprocess.Popen(sandbox.command(sandbox.Plan(), {inner!r}, {ROOT}))",
            f"main.logged(type('T', (), {{}}), 'a build', {inner!r}, '/dev/null')",
        ):
            with self.subTest(starts):
                script = f"import subprocess, time\nfrom trial import __main__ as main, sandbox\n"
                holder = subprocess.Popen(
                    [sys.executable, "-c", script + starts + "\ntime.sleep(300)"],
                    env=dict(os.environ, PYTHONPATH=SOURCE),
                )
                self.addCleanup(holder.kill)
                deadline = time.monotonic() + 60
                while len(sleepers(sleep)) < 2 and time.monotonic() < deadline:
                    time.sleep(0.1)
                self.assertEqual(len(sleepers(sleep)), 2)
                holder.kill()
                holder.wait()
                deadline = time.monotonic() + 30
                while sleepers(sleep) and time.monotonic() < deadline:
                    time.sleep(0.1)
                self.assertEqual(sleepers(sleep), [])


def sleepers(script):
    """The Python processes that run script, as test_killed_outright starts them."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            line = open(f"/proc/{pid}/cmdline", "rb").read()
        except OSError:
            continue
        words = line.split(b"\0")
        if words[0] == PYTHON.encode() and words[1:3] == [b"-c", script.encode()]:
            found.append(pid)
    return found


if __name__ == "__main__":
    unittest.main()
