"""The trial: tries Skarvel in a real Orbiter folder under Wine, with no way to write into it.
Orbiter runs in a sandbox (trial.sandbox) in which the whole file system is read-only and the
user's folder, and each place it reaches, is the lower layer of an overlay whose upper folder
lies in the run folder: the module is put there and ticked in Orbiter.cfg, and every write
Orbiter makes lands there too. Then a few lines say what happened. Whatever the sandbox left in
the run folder is read as hostile: regular files only, never followed, never waited on, with a
bound; what trial.inside saw reaches the trial over a pipe that nothing else inside can reach."""
import contextlib
import dataclasses
import errno
import glob
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

from trial import folder as folders, inside, options, report, sandbox, verdict

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OWN = os.path.join(SOURCE, "build/try-in-orbiter")
INNER = "/tmp/skarvel"  # where the sandbox sees the trial's own files
MACHINES = {"i686": 0x14C, "x64": 0x8664}
PROGRAMS = {0x14C: "a 32-bit (x86) Windows program", 0x8664: "a 64-bit (x64) Windows program"}
AS_ROOT = os.geteuid() == 0
OWNER = sandbox.nobody() if AS_ROOT else None  # who owns what the sandbox writes
# Debian's Python where nobody may reach it: root's own may lie in a home closed to others.
PYTHON = "/usr/bin/python3" if AS_ROOT and os.path.exists("/usr/bin/python3") else sys.executable
SLOW = 3600  # seconds for a child that installs or builds: a bound, never a wait
LOG_LIMIT, SHOT_LIMIT = 1 << 20, 64 << 20  # bytes read back of Orbiter.log and orbiter.out; a PNG
STOPS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)  # the signals that stop the trial


class Fail(Exception):
    """The trial cannot go on (status 1); the lines say why and what to do."""


class Interrupted(BaseException):
    """A signal that stops the trial; args[0] is its number."""


def text_lines(data):
    return data.decode("latin-1").replace("\r", "").splitlines()


def lines_of(path):
    try:
        with open(path, "rb") as f:
            return text_lines(f.read())
    except OSError:
        return []


def read_back(path, limit, tail=False):
    """What the sandbox left at path, read as hostile: only a regular file, never through a link."""
    return inside.read_regular(path, limit, tail, os.O_NOFOLLOW) or b""


def first_match(lines, pattern):
    return next((line for line in lines if re.search(pattern, line)), "")


def read_commit(source):
    """The commit the source tree is at, read from .git without git, or None. In a worktree
    .git is a file naming the worktree's own folder, which holds its HEAD; the branches are in
    the folder that its commondir names."""
    text = lambda *path: "".join(lines_of(os.path.join(*path))).strip()
    git = os.path.join(source, ".git")
    named = text(git)  # "" when .git is a folder
    if named.startswith("gitdir: "):
        git = os.path.join(source, named[len("gitdir: ") :])
    head = text(git, "HEAD")
    if not head.startswith("ref: "):
        return head or None
    git = os.path.join(git, text(git, "commondir"))
    listed = lines_of(os.path.join(git, "packed-refs"))
    packed = [line.split()[0] for line in listed if line.endswith(" " + head[5:])]
    return text(git, head[5:]) or (packed or [None])[0]


def quoted(text):
    return text if re.fullmatch(r"[\w@%+=:,./-]+", text) else "'" + text.replace("'", "'\\''") + "'"


def logged(t, what, command, log, **kwargs):
    """Runs a slow command with its output in log, in a PID namespace of its own that ends with
    it, and with the trial however the trial ends; a failure ends the trial with its last lines."""
    users = [] if AS_ROOT else ["--user", "--map-root-user"]
    boxed = ["setpriv", "--pdeathsig", "KILL", "--", "unshare", *users, "--pid", "--fork"]
    with open(log, "ab") as out:
        t.child = subprocess.Popen(
            [*boxed, "--kill-child", "--", *command],
            stdout=out,
            stderr=subprocess.STDOUT,
            stdin=subprocess.DEVNULL,
            **kwargs,
        )
        status = t.child.wait(SLOW)
        t.child = None
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
        what = "not a Windows program" if machine is None else PROGRAMS.get(machine)
        what = what or f"a Windows program for machine {machine:x}"
        wanted = PROGRAMS[MACHINES[o.arch]]
        wanted += ", as Orbiter 2006 is" if o.arch == "i686" else " (SKARVEL_TRY_ARCH=x64)"
        raise Fail(f"{exe} is {what}; it must be {wanted}.")
    scenarios = folders.windows_path(o.folder, "Scenarios", told=told)
    if not os.path.isdir(scenarios):
        raise Fail(f"{o.folder} has orbiter.exe but no Scenarios folder beside it.")
    rep.say(*told)
    return os.path.basename(exe), os.path.basename(scenarios)


def check_reachable(places):
    """As root, Orbiter runs as nobody: each place it needs must be open to nobody's way there."""
    for place in places if AS_ROOT else ():
        path = "/"
        for part in os.path.realpath(place).split("/")[1:]:
            st = os.stat(path)
            if not st.st_mode & 0o001 and st.st_uid != OWNER[0]:
                raise Fail(
                    f"as root, the trial runs Orbiter as the user nobody, which cannot pass"
                    f" through {path} (mode {st.st_mode & 0o7777:o}) to reach {place}.",
                    "Run the trial as the folder's own user, or try a copy of the folder that"
                    " lies elsewhere.",
                )
            path = os.path.join(path, part)


def install_packages(o):
    """Installs what the trial needs when it is missing: the Debian packages that
    scripts/packages.sh lists, and the MinGW compiler for the probe."""
    script = 'source "$0" && printf "%s\\n" "${TRIAL_PACKAGES[@]}"'
    listed = ["bash", "-c", script, os.path.join(SOURCE, "scripts/packages.sh")]
    packages = subprocess.run(listed, capture_output=True, text=True, timeout=60).stdout.split()
    mingw = "i686" if o.arch == "i686" else "x86-64"
    install = ["bash", os.path.join(SOURCE, "scripts/install-packages.sh")]
    install += ["--need-32-bit", "wine32:i386"] if o.arch == "i686" else []
    install += packages + [f"g++-mingw-w64-{mingw}", f"binutils-mingw-w64-{mingw}"]
    status = subprocess.run(install, timeout=SLOW, stdin=subprocess.DEVNULL).returncode
    if status == 3:
        raise Fail(
            "the trial needs a kernel that runs 32-bit programs (above), as Orbiter 2006 is one."
        )
    if status:
        raise Fail("the Debian packages the trial needs are not installed (above).")


def the_zip(t, o, rep):
    """The zip to install: --zip's, or dist/'s for this commit, made when it is missing."""
    if o.zip:
        return o.zip
    cmake = open(os.path.join(SOURCE, "CMakeLists.txt")).read()
    version = re.search(r"^project\(Skarvel VERSION ([0-9.]+)", cmake, re.M).group(1)
    made = os.path.join(SOURCE, f"dist/Skarvel-{version}.zip")
    commit = read_commit(SOURCE)
    if commit is None:
        raise Fail(
            f"{SOURCE} is no git checkout, so the trial cannot tell which commit dist/"
            " should hold a package of,",
            "and scripts/package.sh packs only a commit. Name the zip to install with --zip FILE.",
        )
    if "\n".join(lines_of(made + ".commit")).strip() != commit:
        rep.say(
            "== dist/ has no package of this commit; making it with scripts/package.sh"
            " (a minute or two)"
        )
        package = ["bash", os.path.join(SOURCE, "scripts/package.sh")]
        logged(t, "scripts/package.sh", package, os.path.join(t.run, "package.log"), cwd=SOURCE)
    return made


def build_probe(t, o, rep):
    """request_probe.exe, built from this source tree for the Orbiter's machine."""
    build = os.path.join(OWN, f"probe-{o.arch}")
    rep.say(f"== Building the request probe in {build}")
    os.makedirs(OWN, exist_ok=True)
    log = os.path.join(t.run, "probe.log")
    if not os.path.isfile(os.path.join(build, "CMakeCache.txt")):
        toolchain = os.path.join(SOURCE, f"cmake/mingw-{o.arch}.cmake")
        configure = ["cmake", "-S", os.path.join(SOURCE, "trial/probe"), "-B", build, "-G"]
        configure += ["Ninja", "--toolchain", toolchain, "-DCMAKE_BUILD_TYPE=Release"]
        logged(t, "configuring the request probe", configure, log)
    logged(t, "building the request probe", ["cmake", "--build", build], log)
    return os.path.join(build, "request_probe.exe")


def run_in_sandbox(t, job, plan):
    """Runs trial.inside with job in the sandbox; passes its report lines on, returns its facts.
    The sandbox is ended when it outlives every bound of what runs in it."""
    channel, write = os.pipe()
    job = inside.Job(**dict(job, source=f"{INNER}/source", channel=write))
    plan = dataclasses.replace(plan, reads=plan.reads + ((SOURCE, job.source),))
    inner = [PYTHON, "-P", "-m", "trial.inside", json.dumps(job.__dict__)]
    said = tempfile.TemporaryFile()  # what the sandbox printed besides: named nowhere
    t.sandbox = subprocess.Popen(
        sandbox.command(plan, inner, AS_ROOT),
        env=dict(os.environ, PYTHONPATH=f"{SOURCE}:{job.source}"),
        stdin=subprocess.DEVNULL,
        stdout=said,
        stderr=subprocess.STDOUT,
        pass_fds=(write,),
        start_new_session=True,
    )
    os.close(write)
    bound = threading.Timer(job.seconds + 3 * inside.LIMIT, t.sandbox.kill)
    bound.daemon = True  # a run stopped by a signal does not wait for it
    bound.start()
    sent = {}  # the last message of each kind
    with open(channel, "rb") as messages:
        for kind, value in map(json.loads, messages):
            if kind == "say":
                t.rep.say(value)
            sent[kind] = value
    status = t.sandbox.wait()
    t.sandbox = None
    if not bound.is_alive():
        raise Fail(f"the sandbox had not ended after {bound.interval:.0f} s, so it was ended.")
    bound.cancel()
    if "facts" not in sent:
        said.seek(0)
        printed = text_lines(said.read(1 << 16))[-12:]
        raise Fail(*(sent.get("error") or printed or [f"the sandbox ended with status {status}"]))
    return sent["facts"]


def nested_display(t):
    """For --show: a display of the sandbox's own in a window on the user's (Xephyr), so that
    what runs in the sandbox reaches that window only. Returns its number."""
    t.display, number = inside.start_x("Xephyr", "%dx%d" % inside.SCREEN, "-title", "Skarvel")
    if not number:
        raise Fail(
            f"Xephyr could not open its window on the display '{os.environ.get('DISPLAY', '')}'.",
            "Check that DISPLAY names your display and that you may use it, or leave out --show.",
        )
    return number


def own_prefix(t, o):
    """The trial's own Wine prefix, set up once in a folder of its own and then renamed into
    place, so that runs only ever read it and never wait for each other. Set-up folders whose
    trial is gone (killed outright) are removed first."""
    base = os.path.join(OWN, "wineprefix" + ("-x64" if o.arch == "x64" else ""))
    if os.path.isfile(os.path.join(base, ".skarvel-setup")):
        return base
    os.makedirs(OWN, exist_ok=True)
    for name in os.listdir(OWN):
        if re.fullmatch(r"setup-[0-9]+", name) and not os.path.exists(f"/proc/{name[6:]}"):
            shutil.rmtree(os.path.join(OWN, name), ignore_errors=True)
    t.setup = os.path.join(OWN, f"setup-{os.getpid()}")
    shutil.rmtree(t.setup, ignore_errors=True)
    os.mkdir(t.setup)
    os.chown(t.setup, *OWNER, follow_symlinks=False) if OWNER else None
    t.rep.say(f"== Setting up the trial's Wine prefix in {base} (once; up to a minute or two)")
    plan = sandbox.Plan(dirs=((t.setup, f"{INNER}/setup"),))
    run_in_sandbox(t, dict(arch=o.arch, setup=f"{INNER}/setup/wineprefix"), plan)
    try:
        os.rename(os.path.join(t.setup, "wineprefix"), base)
    except OSError:
        if not os.path.isfile(os.path.join(base, ".skarvel-setup")):
            raise Fail(f"the Wine prefix set up in {t.setup} could not be moved to {base}.")
    shutil.rmtree(t.setup, ignore_errors=True)
    t.setup = None
    return base


def make_run_folder(t, o):
    os.makedirs(o.runs, exist_ok=True)
    stamp = time.strftime("%Y-%m-%d_%H%M%S")
    for n in range(1, 101):
        run = os.path.join(o.runs, stamp + (f"-{n}" if n > 1 else ""))
        with contextlib.suppress(FileExistsError):
            os.mkdir(run)
            t.run = run  # only a folder this run made is ever cleaned up
            break
    else:
        raise Fail(f"cannot make a run folder in {o.runs}.")
    t.rep.open(os.path.join(t.run, "report.txt"))
    t.rep.say(f"== Run folder: {t.run}")


def overlay(t, lower, upper, work, at=None):
    """An overlay of lower, seen inside at at (by default lower's own path), its upper and work
    folders made in the run folder (nobody's, as root)."""
    upper, work = os.path.join(t.run, upper), os.path.join(t.run, work)
    for path in (upper, work):
        os.makedirs(path)
        os.chown(path, *OWNER, follow_symlinks=False) if OWNER else None
    return sandbox.Overlay(lower, upper, work, at or lower)


def say_report(t, o, facts, views, placed):
    rep = t.rep
    each = [folders.written(view.upper, placed, view.lower, rel) for rel, view in views]
    found, removed = (sorted(sum(paths, [])) for paths in zip(*each))
    log = folders.windows_path(os.path.join(t.run, "written"), "Orbiter.log")
    log_lines = text_lines(read_back(log, LOG_LIMIT))
    log_written = any(path.lower() == "orbiter.log" for path in found)
    module_line = first_match(log_lines, r"Module Skarvel\.dll ")
    failed_line = first_match(log_lines, r"(?i)Failed loading module .*Skarvel\.dll")
    out_path = os.path.join(t.run, "orbiter.out")
    orbiter_out = "\n".join(text_lines(read_back(out_path, LOG_LIMIT, tail=True)))
    cannot = verdict.could_not_try(log_written, orbiter_out, facts.lowest_free, module_line)
    if cannot:
        raise Fail(
            f"{cannot[0]}, so nothing is known about the module. The last lines Orbiter and"
            f" Wine printed ({out_path}):",
            *(orbiter_out.splitlines()[-12:] or ["(nothing)"]),
            cannot[1],
        )
    watched = dataclasses.replace(facts, module_line=module_line, failed_line=failed_line)
    scenario, session, said, drove = verdict.conclude(watched)
    shot = os.path.join(t.run, "screenshot.png")
    if facts.shot and o.screenshot:
        try:  # the run folder's copy is a file the trial made, bound into the sandbox
            with open(o.screenshot + ".partial", "wb") as f:
                f.write(read_back(shot, SHOT_LIMIT))
            os.replace(o.screenshot + ".partial", o.screenshot)
        except OSError as error:
            raise Fail(
                f"the screenshot could not be written to --screenshot {o.screenshot}: {error}"
            )
        shot = o.screenshot
    elif not facts.shot:
        os.unlink(shot)
        shot = "none (Orbiter ended before the first one)"
        if facts.shot_error:
            shot = f"none written ({facts.shot_error})"
    rep.say(
        "== Report",
        f"   module:     {module_line or failed_line or 'Orbiter.log has no line for Skarvel.dll'}",
        f"   orbiter:    still running after {o.seconds} s; stopped"
        if facts.stopped
        else f"   orbiter:    ended with status {facts.status} after {facts.took:.1f} s",
        f"   scenario:   {scenario}",
        f"   session:    {session}",
        f"   screenshot: {shot}",
        f"   verdict:    {said}",
    )
    if (not drove or facts.status) and facts.status != 255 and orbiter_out.strip():
        rep.say(
            f"== The last lines Orbiter and Wine printed ({out_path}):",
            *(f"   {x}" for x in orbiter_out.splitlines()[-12:]),
        )
    where = "written/" + (" and elsewhere/" if len(views) > 1 else "")
    rep.say(f"== Written during the run, kept in {where}: {'; '.join(found) or 'nothing'}")
    if removed:
        rep.say(f"== Removed during the run, marked so in {where}: {'; '.join(removed)}")
    rep.say(
        "== Orbiter ran with your folder and the rest of the system read-only; it wrote only"
        f" into the run folder ({t.run})"
    )
    return drove, said


def trial(t, o):
    rep = t.rep
    exe, scenarios = check_folder(o, rep)
    install_packages(o)
    if refused := sandbox.available(AS_ROOT):
        raise Fail(*refused)
    folder = os.path.realpath(o.folder)
    reached = folders.reached(folder, (os.path.realpath(o.runs), SOURCE))
    check_reachable([folder, o.prefix or folder] + [place for _, place in reached])
    make_run_folder(t, o)
    zip_path = the_zip(t, o, rep)
    dll = folders.read_dll(zip_path)
    probe = build_probe(t, o, rep)
    prefix = o.prefix or own_prefix(t, o)
    rep.say(
        f"== Putting Skarvel.dll from {os.path.basename(zip_path)} into the run's view"
        " of your folder and ticking it in Orbiter.cfg"
    )
    views = [  # (PATH IN THE FOLDER, OVERLAY): the folder's, then each place's it reaches
        (rel, overlay(t, place, f"elsewhere/{n}" if rel else "written", f"work/{n}"))
        for n, (rel, place) in enumerate([("", folder)] + reached)
    ]
    seen_prefix = None if o.prefix else f"{INNER}/prefix"  # the user's is seen where it lies
    prefix_view = overlay(t, prefix, "prefix-written", "work/prefix", seen_prefix)
    placed = folders.place(folder, [(rel, view.upper) for rel, view in views], dll, OWNER)
    writes = [os.path.join(t.run, name) for name in ("orbiter.out", "screenshot.png")]
    for path in writes:  # the only files written inside directly
        open(path, "x").close()
        os.chown(path, *OWNER, follow_symlinks=False) if OWNER else None
    job = dict(
        arch=o.arch,
        display=nested_display(t) if o.show else "",
        folder=folder,
        run=t.run,
        prefix=prefix_view.at,
        probe=f"{INNER}/request_probe.exe",
        words=o.command_line,
        seconds=o.seconds,
        exe=exe,
        staging=folders.windows_path(folder, scenarios, "(Current state).scn"),
    )
    socket = f"/tmp/.X11-unix/X{job['display']}"
    plan = sandbox.Plan(
        t.run,
        reads=((probe, job["probe"]),) + (((socket, socket),) if o.show else ()),
        writes=tuple(writes),
        overlays=tuple(view for _, view in views) + (prefix_view,),
    )
    facts = inside.Facts(**run_in_sandbox(t, job, plan))
    drove, said = say_report(t, o, facts, views, placed)
    if drove:
        rep.say(
            "== To install the module for real, unpack the zip into your folder, keeping its"
            " folders:",
            f"       unzip {quoted(zip_path)} -d {quoted(folder)}",
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
        self.rep, self.run, self.setup = rep, None, None
        self.sandbox = self.child = self.display = None

    def clean_up(self):
        for process in filter(None, (self.sandbox, self.child, self.display)):
            process.kill()  # and with it, all it started
            process.wait()
        if self.setup:
            shutil.rmtree(self.setup, ignore_errors=True)
        if self.run:  # overlayfs leaves its scratch folders closed (mode 000) behind
            for scratch in glob.glob("work/*/*", root_dir=self.run):
                with contextlib.suppress(NotImplementedError):  # raised for a link, not followed
                    os.chmod(os.path.join(self.run, scratch), 0o700, follow_symlinks=False)
            shutil.rmtree(os.path.join(self.run, "work"), ignore_errors=True)


def interrupt(number, _frame):
    for each in STOPS:
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
    for number in STOPS:
        signal.signal(number, interrupt)
    try:
        trial(t, opts)
        return 0
    except Interrupted as stop:
        rep.say("", f"== Interrupted ({signal.Signals(stop.args[0]).name[3:]})")
        return 128 + stop.args[0]
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
        for number in STOPS:
            signal.signal(number, signal.SIG_IGN)
        t.clean_up()
        if rep.file_error:
            rep.error(f"report.txt could not be written whole: {rep.file_error}")
        rep.close()
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
