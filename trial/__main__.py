"""The trial: tries Skarvel in a real Orbiter folder under Wine, with no way to write into it.
Orbiter runs in a sandbox (trial.sandbox) in which the whole file system is read-only and the
user's folder is the lower layer of an overlay whose upper folder lies in the run folder: the
module is put there and ticked in Orbiter.cfg, and every write Orbiter makes lands there too.
Then a few lines say what happened."""
import contextlib
import errno
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time

from trial import folder as folders, inside, options, report, sandbox, verdict

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OWN = os.path.join(SOURCE, "build/try-in-orbiter")
MACHINES = {"i686": 0x14C, "x64": 0x8664}
PACKAGES = [
    "wine",
    "wine64",
    "xvfb",
    "xauth",
    "x11-utils",
    "imagemagick",
    "inotify-tools",
    "cmake",
    "ninja-build",
]
AS_ROOT = os.geteuid() == 0
SLOW = 3600  # seconds for a child that installs or builds: a bound, never a wait


class Fail(Exception):
    """The trial cannot go on (status 1); the lines say why and what to do."""


class Interrupted(BaseException):
    """A signal that stops the trial; args[0] is its number."""


def lines_of(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("latin-1").replace("\r", "").splitlines()
    except OSError:
        return []


def first_match(lines, pattern):
    return next((line for line in lines if re.search(pattern, line)), "")


def read_commit(source):
    """The commit the source tree is at, read from .git without git, or None. In a worktree
    .git is a file naming the worktree's own folder, which holds its HEAD; the branches are in
    the folder that its commondir names."""
    git = os.path.join(source, ".git")
    named = "".join(lines_of(git)).strip() if os.path.isfile(git) else ""
    if named.startswith("gitdir: "):
        git = os.path.join(source, named[len("gitdir: ") :])
    head = "".join(lines_of(os.path.join(git, "HEAD"))).strip()
    if not head.startswith("ref: "):
        return head or None
    git = os.path.join(git, "".join(lines_of(os.path.join(git, "commondir"))).strip())
    loose = "".join(lines_of(os.path.join(git, head[5:]))).strip()
    packed = [
        line.split()[0]
        for line in lines_of(os.path.join(git, "packed-refs"))
        if line.endswith(" " + head[5:])
    ]
    return loose or (packed or [None])[0]


def quoted(text):
    return text if re.fullmatch(r"[\w@%+=:,./-]+", text) else "'" + text.replace("'", "'\\''") + "'"


def logged(what, command, log, **kwargs):
    """Runs a slow command with its output in log; a failure ends the trial with its last lines."""
    with open(log, "ab") as out:
        status = subprocess.run(
            command,
            timeout=SLOW,
            stdout=out,
            stderr=subprocess.STDOUT,
            stdin=subprocess.DEVNULL,
            **kwargs,
        ).returncode
    if status:
        raise Fail(f"{what} failed; the last lines of {log}:", *lines_of(log)[-12:])


def check_folder(o, rep):
    """The names Orbiter runs by in the folder: (orbiter.exe's, Scenarios')."""
    rep.say(f"== Checking {o.folder}")
    if not os.path.isdir(o.folder):
        raise Fail(f"{o.folder} is not a folder.")
    told = []
    exe = folders.windows_path(o.folder, "orbiter.exe", told=told)
    if not os.path.isfile(exe):
        raise Fail(
            f"{o.folder} holds no orbiter.exe, so it is not Orbiter's folder.",
            "Name the folder that holds orbiter.exe and Scenarios\\.",
        )
    machine = folders.pe_machine(exe)
    if machine != MACHINES[o.arch]:
        what = {
            0x14C: "a 32-bit (x86) Windows program",
            0x8664: "a 64-bit (x64) Windows program",
            None: "not a Windows program",
        }.get(machine) or f"a Windows program for machine {machine:x}"
        wanted = (
            "a 32-bit (x86) Windows program, as Orbiter 2006 is"
            if o.arch == "i686"
            else "a 64-bit (x64) Windows program (SKARVEL_TRY_ARCH=x64)"
        )
        raise Fail(f"{exe} is {what}; it must be {wanted}.")
    scenarios = folders.windows_path(o.folder, "Scenarios", told=told)
    if not os.path.isdir(scenarios):
        raise Fail(f"{o.folder} has orbiter.exe but no Scenarios folder beside it.")
    rep.say(*told)
    return os.path.basename(exe), os.path.basename(scenarios)


def install_packages(o):
    mingw = "i686" if o.arch == "i686" else "x86-64"
    packages = PACKAGES + [f"g++-mingw-w64-{mingw}", f"binutils-mingw-w64-{mingw}"]
    install = [
        "bash",
        os.path.join(SOURCE, "scripts/install-packages.sh"),
        *(["--need-32-bit", "wine32:i386"] if o.arch == "i686" else []),
        *packages,
    ]
    status = subprocess.run(install, timeout=SLOW, stdin=subprocess.DEVNULL).returncode
    if status == 3:
        raise Fail(
            "the trial needs a kernel that runs 32-bit programs (above), as Orbiter 2006" " is one."
        )
    if status:
        raise Fail("the Debian packages the trial needs are not installed (above).")


def the_zip(t, o, rep):
    """The zip to install: --zip's, or dist/'s for this commit, made when it is missing."""
    if o.zip:
        return o.zip
    version = re.search(
        r"^project\(Skarvel VERSION ([0-9.]+)",
        open(os.path.join(SOURCE, "CMakeLists.txt")).read(),
        re.M,
    ).group(1)
    made = os.path.join(SOURCE, f"dist/Skarvel-{version}.zip")
    commit = read_commit(SOURCE)
    if commit is None:
        raise Fail(
            f"{SOURCE} is no git checkout, so the trial cannot tell which commit dist/"
            " should hold a package of,",
            "and scripts/package.sh packs only a commit."
            " Name the zip to install with --zip FILE.",
        )
    if "\n".join(lines_of(made + ".commit")).strip() != commit:
        rep.say(
            "== dist/ has no package of this commit; making it with scripts/package.sh"
            " (a minute or two)"
        )
        logged(
            "scripts/package.sh",
            ["bash", os.path.join(SOURCE, "scripts/package.sh")],
            os.path.join(t.run, "package.log"),
            cwd=SOURCE,
        )
    return made


def build_probe(t, o, rep):
    """request_probe.exe, built from this source tree for the Orbiter's machine."""
    build = os.path.join(OWN, f"probe-{o.arch}")
    rep.say(f"== Building the request probe in {build}")
    os.makedirs(OWN, exist_ok=True)
    if not os.path.isfile(os.path.join(build, "CMakeCache.txt")):
        logged(
            "configuring the request probe",
            [
                "cmake",
                "-S",
                os.path.join(SOURCE, "trial/probe"),
                "-B",
                build,
                "-G",
                "Ninja",
                "--toolchain",
                os.path.join(SOURCE, f"cmake/mingw-{o.arch}.cmake"),
                "-DCMAKE_BUILD_TYPE=Release",
            ],
            os.path.join(t.run, "probe.log"),
        )
    logged(
        "building the request probe", ["cmake", "--build", build], os.path.join(t.run, "probe.log")
    )
    return os.path.join(build, "request_probe.exe")


def run_in_sandbox(t, job, write, overlays, show):
    """Runs trial.inside with job in the sandbox; passes its report lines on, returns its facts.
    The sandbox is ended when it outlives every bound of what runs in it."""
    reads = [SOURCE] + (
        [p for p in ("/tmp/.X11-unix", os.environ.get("XAUTHORITY", "")) if p and os.path.exists(p)]
        if show
        else []
    )
    inner = [sys.executable, "-P", "-m", "trial.inside", json.dumps(dict(job, source=SOURCE))]
    box = {"read": reads, "write": write, "overlays": overlays}
    t.sandbox = subprocess.Popen(
        sandbox.command(box, inner, AS_ROOT, isolate=not show),
        env=dict(os.environ, PYTHONPATH=SOURCE),
        stdin=subprocess.DEVNULL,
        stdout=subprocess.PIPE,
        stderr=subprocess.STDOUT,
        start_new_session=True,
    )
    bound = threading.Timer(job.get("seconds", 0) + 3 * inside.LIMIT, t.sandbox.kill)
    bound.daemon = True  # a run stopped by a signal does not wait for it
    bound.start()
    facts, error = None, []
    for raw in t.sandbox.stdout:
        line = raw.decode("utf-8", "replace").rstrip("\n")
        if line.startswith("facts "):
            facts = json.loads(line[6:])
        elif error or not line.startswith("== "):  # an error's lines, and what else was said
            error.append(line[7:] if line.startswith(("error: ", "       ")) else line)
        else:
            t.rep.say(line)
    status = t.sandbox.wait()
    t.sandbox = None
    if not bound.is_alive():
        raise Fail(f"the sandbox had not ended after {bound.interval:.0f} s, so it was ended.")
    bound.cancel()
    if facts is None:
        raise Fail(*(error or [f"the sandbox ended with status {status}, saying nothing"]))
    return facts


def own_prefix(t, o):
    """The trial's own Wine prefix, set up once in a folder of its own and then renamed into
    place, so that runs only ever read it and never wait for each other."""
    base = os.path.join(OWN, "wineprefix" + ("-x64" if o.arch == "x64" else ""))
    if os.path.isfile(os.path.join(base, ".skarvel-setup")):
        return base
    os.makedirs(OWN, exist_ok=True)
    setup = os.path.join(OWN, f"setup-{os.getpid()}")
    shutil.rmtree(setup, ignore_errors=True)
    os.mkdir(setup)
    t.rep.say(f"== Setting up the trial's Wine prefix in {base} (once; up to a minute or two)")
    run_in_sandbox(
        t,
        {"setup": os.path.join(setup, "wineprefix"), "arch": o.arch, "show": False},
        [setup],
        [],
        False,
    )
    try:
        os.rename(os.path.join(setup, "wineprefix"), base)
    except OSError:
        if not os.path.isfile(os.path.join(base, ".skarvel-setup")):
            raise Fail(f"the Wine prefix set up in {setup} could not be moved to {base}.")
    shutil.rmtree(setup, ignore_errors=True)
    return base


def make_run_folder(t, o):
    os.makedirs(o.runs, exist_ok=True)
    stamp = time.strftime("%Y-%m-%d_%H%M%S")
    for n in range(1, 101):
        t.run = os.path.join(o.runs, stamp + (f"-{n}" if n > 1 else ""))
        with contextlib.suppress(FileExistsError):
            os.mkdir(t.run)
            break
    else:
        raise Fail(f"cannot make a run folder in {o.runs}.")
    t.rep.open(os.path.join(t.run, "report.txt"))
    t.rep.say(f"== Run folder: {t.run}")
    for name in ("written", "prefix-written", "work/folder", "work/prefix"):
        os.makedirs(os.path.join(t.run, name))


def say_report(t, o, facts, placed):
    rep, probe = t.rep, facts["probe"]
    written = os.path.join(t.run, "written")
    log_lines = lines_of(folders.windows_path(written, "Orbiter.log"))
    found, removed = folders.written(written, placed, o.folder)
    log_written = any(path.lower() == "orbiter.log" for path in found)
    module_line = first_match(log_lines, r"Module Skarvel\.dll ")
    failed_line = first_match(log_lines, r"(?i)Failed loading module .*Skarvel\.dll")
    orbiter_out = "\n".join(lines_of(os.path.join(t.run, "orbiter.out")))
    cannot = verdict.could_not_try(log_written, orbiter_out, facts["lowest_free"], module_line)
    if cannot:
        raise Fail(
            f"{cannot[0]}, so nothing is known about the module. The last lines Orbiter and"
            f" Wine printed ({t.run}/orbiter.out):",
            *(orbiter_out.splitlines()[-12:] or ["(nothing)"]),
            cannot[1],
        )
    named = verdict.decoded(probe["scenario"], probe["code-page"])
    stopped = facts["status"] is None
    scenario, session, said, drove = verdict.conclude(
        verdict.Watched(
            module_line=module_line,
            failed_line=failed_line,
            stopped=stopped,
            status=facts["status"] or 0,
            seconds=o.seconds,
            usage_seen=facts["usage_seen"],
            names_staging=probe["staged"] == "1" and probe["copied"] == "0",
            first_written=facts["first_written"],
            saved_later=facts["saved_later"],
            staged=named if facts["staged_named"] else "",
            named=named,
            paused=probe["paused"] == "1",
            empty_line=probe["report-missing"] == "0",
        )
    )
    shot = facts["shot"]
    if shot and o.screenshot:
        shutil.copyfile(shot, o.screenshot + ".partial")
        os.replace(o.screenshot + ".partial", o.screenshot)
        shot = o.screenshot
    rep.say(
        "== Report",
        f"   module:     {module_line or failed_line or 'Orbiter.log has no line for Skarvel.dll'}",
        f"   orbiter:    still running after {o.seconds} s; stopped"
        if stopped
        else f"   orbiter:    ended with status {facts['status']} after {facts['took']:.1f} s",
        f"   scenario:   {scenario}",
        f"   session:    {session}",
        f"   screenshot: {shot}"
        if shot
        else "   screenshot: none (Orbiter ended before the first one)"
        if not facts["shot_error"]
        else f"   screenshot: none written ({facts['shot_error']})",
        f"   verdict:    {said}",
    )
    if (not drove or facts["status"]) and facts["status"] != 255 and orbiter_out.strip():
        rep.say(
            f"== The last lines Orbiter and Wine printed ({t.run}/orbiter.out):",
            *(f"   {x}" for x in orbiter_out.splitlines()[-12:]),
        )
    rep.say(f"== Written during the run, kept in written/: {'; '.join(found) or 'nothing'}")
    if removed:
        rep.say(f"== Removed during the run, marked so in written/: {'; '.join(removed)}")
    rep.say(
        "== Orbiter ran with your folder and the rest of the system read-only; it wrote only"
        f" into the run folder ({t.run}/written)"
    )
    return drove, said


def trial(t, o):
    rep = t.rep
    exe, scenarios = check_folder(o, rep)
    install_packages(o)
    refused = sandbox.available(AS_ROOT)
    if refused:
        raise Fail(*refused)
    make_run_folder(t, o)
    o.zip = the_zip(t, o, rep)
    dll = folders.read_dll(o.zip)
    probe = build_probe(t, o, rep)
    prefix = o.prefix or own_prefix(t, o)
    rep.say(
        f"== Putting Skarvel.dll from {os.path.basename(o.zip)} into the run's view"
        " of your folder and ticking it in Orbiter.cfg"
    )
    placed = folders.place(o.folder, os.path.join(t.run, "written"), dll)
    folder = os.path.realpath(o.folder)
    job = {
        "arch": o.arch,
        "show": o.show,
        "folder": folder,
        "run": t.run,
        "prefix": prefix,
        "probe": probe,
        "words": o.command_line,
        "seconds": o.seconds,
        "exe": exe,
        "scenarios": os.path.join(folder, scenarios),
        "staging": folders.windows_path(os.path.join(folder, scenarios), "(Current state).scn"),
    }
    work = os.path.join(t.run, "work")
    facts = run_in_sandbox(
        t,
        job,
        [t.run],
        [
            [folder, os.path.join(t.run, "written"), os.path.join(work, "folder")],
            [prefix, os.path.join(t.run, "prefix-written"), os.path.join(work, "prefix")],
        ],
        o.show,
    )
    drove, said = say_report(t, o, facts, placed)
    if drove:
        rep.say(
            "== To install the module for real, unpack the zip into your folder, keeping its"
            " folders:",
            f"       unzip {quoted(o.zip)} -d {quoted(folder)}",
            "   then start Orbiter there and tick Skarvel in the launchpad's Modules tab.",
        )
    elif said.startswith("ended at start"):
        rep.say(
            "== Do not install the module in this Orbiter: it ends this Orbiter at start, so"
            " with the",
            "   module ticked, this Orbiter would no longer start.",
        )
    else:
        rep.say(
            "== This Orbiter did not load the module, so installed for real it would not"
            " run either."
        )


class Trial:
    def __init__(self, rep):
        self.rep, self.sandbox, self.run = rep, None, None

    def clean_up(self):
        if self.sandbox is not None:  # its namespace, and all in it, ends with it
            self.sandbox.kill()
            self.sandbox.wait()
        if self.run:  # the overlays' work folders hold nothing once they are unmounted
            work = os.path.join(self.run, "work")
            for top, dirs, _ in os.walk(work):
                for name in dirs:
                    os.chmod(os.path.join(top, name), 0o700)
            shutil.rmtree(work, ignore_errors=True)


def interrupt(number, _frame):
    for each in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(each, signal.SIG_IGN)  # the clean-up runs once, whole
    raise Interrupted(number)


def main(argv):
    report.guard_standard_descriptors()
    rep = report.Report()
    try:
        opts = options.parse(argv, SOURCE, os.environ)
        if opts.help:
            rep.say(options.HELP.rstrip("\n"))
            return 0
        options.check_places(opts, SOURCE, os.environ)
    except options.Usage as error:
        rep.error(str(error), f"run: {options.COMMAND} --help")
        return 2
    t = Trial(rep)
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, interrupt)
    status = 1
    try:
        trial(t, opts)
        status = 0
    except Interrupted as stop:
        rep.say("", f"== Interrupted ({signal.Signals(stop.args[0]).name[3:]})")
        status = 128 + stop.args[0]
    except (Fail, folders.Refused) as failure:
        rep.error(*failure.args)
    except Exception as error:  # anything else still ends in words and status 1, not a traceback
        full = getattr(error, "errno", None) == errno.ENOSPC
        rep.error(
            f"the file system is full: {error}" if full else f"{type(error).__name__}: {error}",
            "Make room there, or name another place with --runs DIR."
            if full
            else "The trial cannot go on; report this with the run folder's report.txt.",
        )
    finally:
        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            signal.signal(number, signal.SIG_IGN)
        t.clean_up()
        if rep.file_error:
            rep.file_error, file_error = None, rep.file_error
            rep.error(f"report.txt could not be written whole: {file_error}")
        rep.close()
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
