"""The trial under Wine, against the Win32 test host laid out as an Orbiter folder: its reports
and verdicts, and the kernel's promise, whatever way a run ends and whoever runs it: the user's
folder as it was, nothing of the run left running.

    python3 -P tests/trial/wine_cases.py ARCH HOST ZIP HOSTILE [CASE...]   (each Windows build's ctest
                                                                     runs it, with every case)

ARCH is i686 or x64; HOST the test host's orbiter.exe; ZIP the add-on zip of that build; HOSTILE
the plug-in whose DllMain runs the shell script SKARVEL_HOSTILE_SCRIPT names. Ends
with 77 (a skip) where this machine cannot run ARCH's Windows programs."""
import hashlib
import io
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ARCH, HOST, ZIP, HOSTILE = sys.argv[1:5] if __name__ == "__main__" else ("x64", "", "", "")
OWN_PREFIX = os.path.join(SOURCE, "build/try-in-orbiter/wineprefix" + ("-x64" * (ARCH == "x64")))
AS_NOBODY = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
TRY = ["bash", os.path.join(SOURCE, "scripts/try-in-orbiter.sh")]
ROOT = os.geteuid() == 0


def left_running(scratch):
    """The processes that name scratch in their command line or work in it: a run's sandbox and
    everything in it, whichever PID namespace they are in, and no other run's. PID: command."""
    found = {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            line = open(f"/proc/{pid}/cmdline", "rb").read().decode("utf-8", "replace")
            where = os.readlink(f"/proc/{pid}/cwd")
        except OSError:
            continue
        if int(pid) != os.getpid() and (scratch in line or where.startswith(scratch)):
            found[pid] = f"{line.replace(chr(0), ' ')[:300]} (in {where})"
    return found


def listing(root):
    """Every entry under root, links not followed, with what could change about it."""
    found = {}
    for top, dirs, files in os.walk(root):
        dirs[:] = [d for d in dirs if d != "deep"]  # a chain too deep to walk by path
        for name in [""] + dirs + files:
            path = os.path.join(top, name) if name else top
            st = os.lstat(path)
            digest = ""
            if os.path.isfile(path) and not os.path.islink(path) and st.st_size < 1 << 20:
                with open(path, "rb") as f:
                    digest = hashlib.sha256(f.read()).hexdigest()
            found[os.path.relpath(path, root)] = (
                st.st_mode,
                st.st_uid,
                st.st_size,
                st.st_mtime_ns,
                digest,
            )
    return found


class WineCases(unittest.TestCase):
    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="skarvel-wine-cases-")
        os.chmod(self.scratch, 0o755)
        self.addCleanup(subprocess.run, ["rm", "-rf", self.scratch])
        self.folder, self.runs = self.mk("Orbiter"), self.mk("runs")
        shutil.copytree(os.path.join(SOURCE, "sample/Orbiter"), self.folder)
        shutil.copy(HOST, os.path.join(self.folder, "orbiter.exe"))
        for name, text in (
            ("Orbiter.cfg", "; Orbiter's configuration, with no module ticked.\n"),
            ("Device.dat", "a device\n"),
            ("keymap.cfg", "; keys\n"),
        ):
            with open(os.path.join(self.folder, name), "w") as f:
                f.write(text)

    def mk(self, name):
        return os.path.join(self.scratch, name)

    def trial(self, *words, options=(), env=None, user=(), command=(*TRY, "--zip", ZIP)):
        """Runs the trial on the folder: (STATUS, OUTPUT), and checks the promise."""
        before = listing(self.folder)
        done = subprocess.run(
            [*user, *command, "--runs", self.runs, *options, self.folder, "--", *words],
            stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT,
            timeout=300,
            env=dict(os.environ, SKARVEL_TRY_ARCH=ARCH, **(env or {})),
        )
        output = done.stdout.decode("utf-8", "replace")
        self.assert_kept(before, output)
        return done.returncode, output

    def assert_kept(self, before, output):
        self.assertEqual(listing(self.folder), before, "the folder changed:\n" + output)
        deadline = time.monotonic() + 10  # the namespace's end takes a moment
        while left_running(self.scratch) and time.monotonic() < deadline:
            time.sleep(0.1)
        self.assertEqual(
            left_running(self.scratch), {}, "processes of the run still run:\n" + output
        )

    def assert_says(self, output, *lines):
        for line in lines:
            self.assertIn(line, output)

    def run_folder(self, output):
        return next(
            line[len("== Run folder: ") :]
            for line in output.splitlines()
            if line.startswith("== Run folder: ")
        )

    def test_reports(self):
        promise = "== Orbiter ran with your folder and the rest of the system read-only"
        shutil.copy(
            self.mk("Orbiter/Scenarios/Demo Flight.scn"),
            self.mk("Orbiter/Scenarios/Backup of Demo Flight.scn"),
        )
        # (why) | the host's words, then --, then Orbiter's | trial options | what it prints
        for why, words, options, says in [
            (
                "a whole session: the host saves its state over the staged file; a plug-in's new"
                " scenario lands in the run folder",
                ["--write", "Scenarios\\My flight.scn", "--", "-p", "-e", "Scenarios\\Demo Flight"],
                [],
                [
                    "scenario:   staged Scenarios\\Demo Flight.scn as Scenarios\\(Current state).scn",
                    "session:    ended and saved its state over Scenarios\\(Current state).scn",
                    'verdict:    launched "Scenarios\\Demo Flight.scn" paused',
                    "== Written during the"
                    " run, kept in written/: Orbiter.cfg; Orbiter.log; Scenarios/(Current"
                    " state).scn; Scenarios/My flight.scn",
                    promise,
                    "unzip ",
                ],
            ),
            (
                "the usage dialog, until the time limit",
                ["--keep-open", "--", "-e", "Nowhere"],
                ["--seconds", "4"],
                ["orbiter:    still running after 4 s; stopped", "verdict:    usage dialog shown"],
            ),
            (
                "a launchpad the module cannot drive",
                ["--without", "1000", "--", "-p"],
                [],
                [
                    "verdict:    ended at start: this launchpad is not Orbiter 2006's",
                    "== Do not install the module in this Orbiter",
                ],
            ),
            (
                "the staging file itself, in another spelling",
                ["-p", "-e", ".\\Scenarios\\..\\SCENARIOS\\(current state)"],
                [],
                [
                    "scenario:   not staged: the command line names Scenarios\\(Current state).scn"
                    " itself",
                    'verdict:    launched "Scenarios\\(Current state).scn" as it stood,' " paused",
                ],
            ),
            # The module counts the bytes of Windows' code page, one a letter here: the line fits.
            (
                "a long line of non-ASCII words",
                ["-p", "é" * 2100, "Scenarios\\Demo"],
                [],
                ['verdict:    launched "Scenarios\\Demo.scn" paused'],
            ),
            # Wine's best fit turns the full-width hyphen into the minus the module reads.
            (
                "a full-width hyphen",
                ["\uff0dp", "Scenarios\\Demo"],
                [],
                ['verdict:    launched "Scenarios\\Demo.scn" paused'],
            ),
            (
                "the one named, of two scenarios with the same bytes",
                ["-x", "Scenarios\\Demo Flight"],
                [],
                ['verdict:    launched "Scenarios\\Demo Flight.scn" running'],
            ),
        ]:
            with self.subTest(why):
                status, output = self.trial(*words, options=options)
                self.assertEqual(status, 0, output)
                self.assert_says(output, *says)

    def test_first_start(self):
        """Orbiter writes Device.dat and keymap.cfg when they are missing: in the run folder."""
        for name in ("Device.dat", "keymap.cfg"):
            os.unlink(os.path.join(self.folder, name))
        status, output = self.trial("-x", "Scenarios\\Demo")
        self.assertEqual(status, 0, output)
        self.assert_says(
            output,
            "== Written during the run, kept in written/: Device.dat;"
            " Orbiter.cfg; Orbiter.log; Scenarios/(Current state).scn; keymap.cfg",
        )
        self.assertTrue(os.path.isfile(os.path.join(self.run_folder(output), "written/Device.dat")))

    def test_odd_folder(self):
        """What no trial reads: a link cycle, a named pipe, a huge file, a deep folder; a link
        out of the folder that a plug-in writes through, and a Wine prefix in the folder."""
        os.symlink(".", os.path.join(self.folder, "loop"))
        os.mkfifo(os.path.join(self.folder, "Scenarios/pipe.scn"))
        with open(os.path.join(self.folder, "huge.bin"), "wb") as f:
            f.truncate(64 << 30)
        deep = os.path.join(self.folder, "deep")
        os.makedirs(deep)
        subprocess.run(
            [
                "bash",
                "-c",
                'cd "$1" && for i in $(seq 1200); do mkdir d && cd d;' " done",
                "_",
                deep,
            ],
            check=True,
        )
        os.makedirs(self.mk("outside/Planets"))
        open(self.mk("outside/Planets/Moon.dds"), "w").write("a moon\n")
        os.symlink(self.mk("outside"), os.path.join(self.folder, "Textures"))
        self.own_prefix()
        prefix = os.path.join(self.folder, "prefix")
        if subprocess.run(["cp", "-al", OWN_PREFIX, prefix]).returncode:  # another disk
            shutil.copytree(OWN_PREFIX, prefix, symlinks=True)
        status, output = self.trial("-x", "Scenarios\\Demo", env={"WINEPREFIX": prefix})
        self.assertEqual(status, 0, output)
        self.assert_says(output, 'verdict:    launched "Scenarios\\Demo.scn" running')
        # A plug-in writes through a link out of the folder, into /tmp, as it would installed for
        # real, and the write lands in the run folder. The scenario named is a named pipe: the
        # module's copy waits on it until the time is up, the trial's own reads never do.
        moon = listing(self.mk("outside"))
        status, output = self.trial(
            *("--write", "Textures\\Planets\\Moon.dds", "--", "-x", "Scenarios\\pipe"),
            options=["--seconds", "5"],
        )
        self.assertEqual(status, 0, output)
        self.assertEqual(listing(self.mk("outside")), moon)
        self.assert_says(output, "== Report", "Textures/Planets/Moon.dds")

    @unittest.skipUnless(ROOT, "only root can run the trial as another user")
    def test_read_only_folder_of_another_account(self):
        """An installation of another account, tried by nobody in a prefix of nobody's own, from
        a copy of the source tree when nobody cannot reach the clone (one in /root)."""
        self.own_prefix()
        shutil.copytree(OWN_PREFIX, self.mk("nobody/prefix"), symlinks=True)
        os.makedirs(self.runs)
        subprocess.run(["chown", "-R", "nobody:nogroup", self.mk("nobody"), self.runs], check=True)
        subprocess.run(["chmod", "-R", "a-w", self.folder], check=True)
        reach = subprocess.run([*AS_NOBODY, "test", "-r", TRY[1]]).returncode == 0
        source, zip_path = (
            (SOURCE, ZIP) if reach else (self.mk("nobody/src"), self.mk("nobody/a.zip"))
        )
        if not reach:
            shutil.copy(ZIP, zip_path)
            tracked = subprocess.run(
                ["git", "-C", SOURCE, "ls-files", "-z"], capture_output=True, check=True
            ).stdout
            for name in os.fsdecode(tracked).split("\0")[:-1]:
                os.makedirs(os.path.dirname(os.path.join(source, name)), exist_ok=True)
                shutil.copy(os.path.join(SOURCE, name), os.path.join(source, name))
            subprocess.run(["chown", "-R", "nobody:nogroup", source], check=True)
        status, output = self.trial(
            "-x",
            "Scenarios\\Demo",
            env={"WINEPREFIX": self.mk("nobody/prefix"), "HOME": self.mk("nobody")},
            user=AS_NOBODY,
            command=["bash", os.path.join(source, "scripts/try-in-orbiter.sh"), "--zip", zip_path],
        )
        self.assertEqual(status, 0, output)
        self.assert_says(output, 'verdict:    launched "Scenarios\\Demo.scn" running')

    def own_prefix(self):
        """The trial's own Wine prefix, set up by a first run when no case has yet."""
        if not os.path.isdir(OWN_PREFIX):
            self.trial("-x", "Scenarios\\Demo")

    def test_layouts(self):
        """Orbiter in a Wine prefix's drive C:, its Scenarios a link to a folder outside /tmp,
        and, as root, Scenarios a mount of another disk: each seen as it is, and written in the
        run folder."""
        self.own_prefix()
        prefix, folder = self.mk("prefix"), self.mk("prefix/drive_c/Orbiter")
        if subprocess.run(["cp", "-al", OWN_PREFIX, prefix]).returncode:  # another disk
            shutil.copytree(OWN_PREFIX, prefix, symlinks=True)
        shutil.move(self.folder, folder)
        self.folder = folder
        elsewhere = tempfile.mkdtemp(dir="/var/tmp")
        os.chmod(elsewhere, 0o755)
        self.addCleanup(shutil.rmtree, elsewhere)
        shutil.move(os.path.join(folder, "Scenarios"), elsewhere)
        os.symlink(os.path.join(elsewhere, "Scenarios"), os.path.join(folder, "Scenarios"))
        scenarios = os.path.join(folder, "Scenarios")
        for mounted in (False, True) if ROOT else (False,):
            if mounted:  # Scenarios is a mount of another disk, the prefix the trial's own
                os.unlink(scenarios)
                os.mkdir(scenarios)
                subprocess.run(["mount", "--bind", elsewhere + "/Scenarios", scenarios], check=True)
                self.addCleanup(subprocess.run, ["umount", scenarios])
            with self.subTest(mounted=mounted):
                kept = listing(elsewhere)
                env = {} if mounted else {"WINEPREFIX": prefix}
                status, output = self.trial("-x", "Scenarios\\Demo", env=env)
                self.assertEqual(status, 0, output)
                self.assert_says(
                    output,
                    'verdict:    launched "Scenarios\\Demo.scn" running',
                    "Orbiter.log; Scenarios/(Current state).scn",
                )
                self.assertEqual(listing(elsewhere), kept)

    def test_hostile_plugin(self):
        """A plug-in ticked in the folder runs a shell script from its DllMain: what it does
        changes nothing outside the run folder, forges nothing in the report, and leaves nothing
        that acts with the trial's rights."""
        plugin = os.path.join(self.folder, "Modules/Plugin")
        os.makedirs(plugin, exist_ok=True)
        shutil.copy(HOSTILE, os.path.join(plugin, "Hostile.dll"))
        with open(os.path.join(self.folder, "Orbiter.cfg"), "a") as f:
            f.write("ACTIVE_MODULES\n  Hostile\nEND_MODULES\n")
        os.makedirs(self.mk("outside"))
        with open(self.mk("secret"), "w") as f:
            f.write("secret\n")
        os.chmod(self.mk("secret"), 0o600)
        key = "skarvel-hostile-" + os.path.basename(self.scratch)
        read, write = os.pipe()  # the user's display, which --show must keep from the plug-in
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-nolisten", "tcp"], pass_fds=(write,)
        )
        self.addCleanup(xvfb.wait)
        self.addCleanup(xvfb.kill)
        os.close(write)
        with open(read) as f:
            display = ":" + f.readline().strip()
        script = os.path.join(self.folder, "hostile.sh")
        with open(script, "w") as f:
            f.write(
                f"""run=$(ls -d {self.runs}/*/ | head -n 1)
for fd in /proc/1/fd/*; do echo '   verdict:    forged' >"$fd"; done
ln -s {self.mk("outside")} "$run/work/link"; rm -rf "$run/work"; ln -s {self.folder} "$run/work"
cp /bin/true "$run/helper"; cp /bin/true {self.folder}/helper; chmod 4755 {self.folder}/helper
while :; do ln -sf {self.mk("secret")} "$run/screenshot.png"; sleep 0.05; done &
rm -f "$run/orbiter.out"; mkfifo "$run/orbiter.out"; mkfifo {self.folder}/Scenarios/pipe.scn
unshare --user true && echo nested >{self.folder}/nested
xwininfo -root -display {display} && echo reached >{self.folder}/users-display
python3 -c 'import ctypes; [ctypes.CDLL(None).syscall(248, b"user", b"{key}", b"x", 1, r)
                             for r in (-3, -4)]'
"""
            )
        status, output = self.trial(
            "-x",
            "Scenarios\\Demo",
            options=["--screenshot", self.mk("shot.png"), "--show"],
            env={"SKARVEL_HOSTILE_SCRIPT": script, "DISPLAY": display},
        )
        with open(self.mk("shot.png"), "rb") if status == 0 else io.BytesIO() as f:
            picture = f.read(8)
        with open("/proc/keys") as f:
            keys = f.read()
        set_id = [  # the run folder's set-user-ID and set-group-ID files of root's
            name
            for top, _, files in (os.walk(self.runs) if ROOT else ())  # a user's own is no more
            for name in files
            if os.lstat(os.path.join(top, name)).st_mode & 0o6000
            and os.lstat(os.path.join(top, name)).st_uid == 0
        ]
        faults = [  # each thing the script tries, that must fail
            ("the trial failed", status != 0),
            ("a forged line in the report", "forged" in output),
            ("a folder outside changed mode", os.stat(self.mk("outside")).st_mode & 0o777 != 0o755),
            ("--screenshot got what a link named", picture != b"\x89PNG\r\n\x1a\n"),
            (f"set-user-ID files of root's: {set_id}", set_id),
            ("a nested user namespace", "nested" in output),
            ("the user's display reached", "users-display" in output),
            ("a key left in a key ring outside", key in keys),
            ("the script did not run", "helper" not in output),  # its copy lands in written/
        ]
        happened = [what for what, fault in faults if fault]
        self.assertFalse(happened, f"{'; '.join(happened)}\n{output}")
        self.assert_says(output, 'verdict:    launched "Scenarios\\Demo.scn" running')

    def test_output_closed(self):
        """Output into a pipe that closes after three lines: the run goes on to its end."""
        before = listing(self.folder)
        trial = subprocess.Popen(
            [*TRY, "--runs", self.runs, "--zip", ZIP, self.folder, "--", "-x", "Scenarios\\Demo"],
            stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT,
            env=dict(os.environ, SKARVEL_TRY_ARCH=ARCH),
        )
        for _ in range(3):
            trial.stdout.readline()
        trial.stdout.close()
        self.assertEqual(trial.wait(300), 0)
        report = open(os.path.join(self.runs, os.listdir(self.runs)[0], "report.txt")).read()
        self.assert_says(report, 'verdict:    launched "Scenarios\\Demo.scn" running')
        self.assert_kept(before, report)

    def start(self, *words, name):
        """Starts the trial in a process group of its own, as a terminal does, with Orbiter kept
        open; returns once Orbiter runs (its log is in the run folder)."""
        out = open(self.mk(name + ".out"), "w+b")
        self.addCleanup(out.close)
        trial = subprocess.Popen(
            [
                *TRY,
                "--runs",
                self.mk(name),
                "--zip",
                ZIP,
                self.folder,
                "--",
                "--keep-open",
                "--",
                *words,
            ],
            stdout=out,
            stderr=subprocess.STDOUT,
            env=dict(os.environ, SKARVEL_TRY_ARCH=ARCH),
            start_new_session=True,
        )
        deadline = time.monotonic() + 240
        while time.monotonic() < deadline and trial.poll() is None:
            runs = os.listdir(self.mk(name)) if os.path.isdir(self.mk(name)) else []
            if runs and os.path.exists(os.path.join(self.mk(name), runs[0], "written/Orbiter.log")):
                return trial, out
            time.sleep(0.1)
        out.seek(0)
        self.fail(f"Orbiter did not start within 240 s:\n{out.read().decode()}")

    def test_stopped(self):
        """Ctrl-C, kill or a closed terminal: the trial ends as the signal asks; KILL ends it at
        once, and the sandbox with it; two runs at once never wait for each other."""
        before = listing(self.folder)
        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGKILL):
            name = signal.Signals(number).name
            with self.subTest(name):
                trial, out = self.start("-p", "Scenarios\\Demo", name=name)
                os.killpg(trial.pid, number)
                self.assertEqual(
                    trial.wait(60), -number if number == signal.SIGKILL else 128 + number
                )
                out.seek(0)
                said = out.read().decode()
                if number != signal.SIGKILL:
                    self.assert_says(said, f"== Interrupted ({name[3:]})")
                self.assert_kept(before, said)
        first, _ = self.start("-p", "Scenarios\\Demo", name="first")
        second, out = self.start("-p", "Scenarios\\Demo", name="second")
        for trial in (first, second):
            os.killpg(trial.pid, signal.SIGINT)
            self.assertEqual(trial.wait(60), 130)
        self.assert_kept(before, "two at once")


if __name__ == "__main__":
    if ARCH == "i686":
        answer = subprocess.run(
            [os.path.join(SOURCE, "scripts/runs-32-bit.sh")], stdout=subprocess.PIPE, text=True
        )
        if answer.returncode != 0:
            print(
                f"SKIP: {answer.stdout.strip()}, so the trial cannot run the i686 test host here."
            )
            sys.exit(77)
    unittest.main(argv=sys.argv[:1] + sys.argv[5:], verbosity=2)  # then the cases to run, if named
