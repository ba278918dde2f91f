"""The trial: tries Skarvel in a real Orbiter folder under Wine without writing into it. The
folder is copied into a run folder of its own, the add-on zip's DLL is installed and ticked in
the copy, and orbiter.exe runs there while the staging file is watched; then a few lines say
what happened. The user's folder is only read: its inventory, taken before the run, is taken
again on every end, and whatever changed is named; nothing there is removed or put back."""
import contextlib
import errno
import fcntl
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import zipfile
import zlib

from trial import folder as folders, leftovers, module_list, options, report, run, verdict

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DLL = "Modules/Plugin/Skarvel.dll"
DLL_LIMIT = 65536  # the package step refuses a larger DLL
MACHINES = {"i686": 0x14C, "x64": 0x8664}
PACKAGES = ["wine", "wine64", "xvfb", "xauth", "x11-utils", "imagemagick", "inotify-tools"]
SCREEN_BYTES = run.SCREEN[0] * run.SCREEN[1] * 3
CHANGED = """\
   Nothing there was removed or put back. Orbiter wrote through the links to its asset
   folders, through an absolute path on its command line, or a plug-in wrote outside
   Orbiter's folder; or something else on this machine changed it meanwhile."""


class Fail(Exception):
    """The trial cannot go on (status 1); the lines say why and what to do."""


class Interrupted(BaseException):
    """A signal that stops the trial; args[0] is its number."""


class Trial:
    """A run's state: what it started, and what its clean-up must end."""

    def __init__(self, opts, rep):
        self.opts, self.rep = opts, rep
        self.folder = self.run_dir = self.inventory = self.lock = None
        self.orbiter = self.watch = self.display = self.desktop = None
        self.processes = self.env = None
        self.checked = self.changed = self.owns_session = False
        self.holding, self.pending, self.work = False, None, None

    def signal(self, number, _frame):
        if self.holding:
            self.pending = self.pending or number
        else:
            raise Interrupted(number)

    @contextlib.contextmanager
    def held(self):
        """Signals wait until the block has run whole."""
        self.holding = True
        try:
            yield
        finally:
            self.holding = False
        if self.pending:
            raise Interrupted(self.pending)

    def record(self, pid, how, mark):
        if self.processes:
            leftovers.record(self.processes, pid, how, mark)

    def check_user_folder(self):
        """Takes the inventory of the user's folder again, once, and names what changed."""
        if self.inventory is None or self.checked:
            return
        try:
            changes = folders.compare(self.inventory, folders.take(self.folder))
            self.changed = bool(changes)
        except (OSError, folders.WalkError) as error:
            self.changed, changes = True, None
            self.rep.say(f"== {self.folder} could not be checked ({error}), so it may have"
                         " changed during the run.")
        if changes:
            self.rep.say(f"== Changed in {self.folder} during the run:", *(f"   {c}" for c in changes),
                         *CHANGED.splitlines())
        elif changes is not None:
            self.rep.say(f"== {self.folder} was only read: it is as it was before the run")
        self.checked = True

    def stop_orbiter(self):
        run.stop(self.orbiter)
        self.orbiter = None
        if self.desktop is not None:  # the holder's cmd.exe ends with its pipe
            os.close(self.desktop[1])
            self.desktop = None
        # In the trial's own prefix the session ends with the run; a prefix of the user's may
        # hold the user's own programs.
        if self.owns_session:
            subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
            self.owns_session = False

    def clean_up(self):
        for step in (self.stop_orbiter, lambda: self.watch and self.watch.stop(),
                     lambda: self.processes and leftovers.end_recorded(self.processes),
                     lambda: run.stop(self.display), self.check_user_folder,
                     lambda: self.work and shutil.rmtree(self.work, ignore_errors=True)):
            try:
                step()
            except Exception as error:  # one step failing must not cut the others short
                self.rep.say(f"== A step of the clean-up failed: {error}")
        if self.lock is not None:
            os.close(self.lock)


def read_commit(source):
    """The commit the source tree is at, read from .git without git, or None. In a worktree
    .git is a file naming the worktree's own folder, which holds its HEAD; the branches are in
    the folder that its commondir names."""
    git = os.path.join(source, ".git")
    named = "".join(lines_of(git)).strip() if os.path.isfile(git) else ""
    if named.startswith("gitdir: "):
        git = os.path.join(source, named[len("gitdir: "):])
    head = "".join(lines_of(os.path.join(git, "HEAD"))).strip()
    if not head.startswith("ref: "):
        return head or None
    git = os.path.join(git, "".join(lines_of(os.path.join(git, "commondir"))).strip())
    loose = "".join(lines_of(os.path.join(git, head[5:]))).strip()
    packed = [line.split()[0] for line in lines_of(os.path.join(git, "packed-refs"))
              if line.endswith(" " + head[5:])]
    return loose or (packed or [None])[0]


def read_dll(zip_path):
    """The DLL's bytes from the add-on zip, its size checked before it is read."""
    try:
        with zipfile.ZipFile(zip_path) as z:
            info = z.getinfo(DLL)
            if (info.external_attr >> 16) & 0o170000 not in (0, 0o100000):
                raise Fail(f"{zip_path}'s {DLL} is not a regular file; is it Skarvel's add-on zip?")
            if info.file_size > DLL_LIMIT:
                raise Fail(f"{zip_path}'s {DLL} has {info.file_size} bytes, more than the 64 KiB"
                           " a Skarvel.dll has; is it Skarvel's add-on zip?")
            with z.open(info) as f:
                data = f.read(DLL_LIMIT + 1)
    except KeyError:
        raise Fail(f"{zip_path} holds no {DLL}; is it Skarvel's add-on zip?")
    except (zipfile.BadZipFile, OSError, zlib.error) as error:
        raise Fail(f"{zip_path} cannot be read as a zip: {error}")
    if len(data) > DLL_LIMIT:  # its header understated it
        raise Fail(f"{zip_path}'s {DLL} unpacks to more than 64 KiB; is it Skarvel's add-on zip?")
    return data


def write_new(path, data):
    """Writes path whole under a temporary name beside it, then renames it."""
    partial = path + ".partial"
    with open(partial, "xb") as f:
        f.write(data)
    os.replace(partial, path)


def lines_of(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("latin-1").replace("\r", "").splitlines()
    except OSError:
        return []


def first_match(lines, pattern):
    return next((line for line in lines if re.search(pattern, line)), "")


def prepare(t):
    o, rep = t.opts, t.rep
    rep.say(f"== Checking {o.folder}")
    if not os.path.isdir(o.folder):
        raise Fail(f"{o.folder} is not a folder.")
    t.folder = os.path.realpath(o.folder)
    told = []
    exe = folders.windows_path(t.folder, "orbiter.exe", told=told)
    if not os.path.isfile(exe):
        raise Fail(f"{o.folder} holds no orbiter.exe, so it is not Orbiter's folder.",
                   "Name the folder that holds orbiter.exe and Scenarios\\.")
    machine = run.pe_machine(exe)
    if machine != MACHINES[o.arch]:
        what = {0x14C: "a 32-bit (x86) Windows program", 0x8664: "a 64-bit (x64) Windows program",
                None: "not a Windows program"}.get(machine) or f"a Windows program for machine {machine:x}"
        wanted = ("a 32-bit (x86) Windows program, as Orbiter 2006 is" if o.arch == "i686" else
                  "a 64-bit (x64) Windows program (SKARVEL_TRY_ARCH=x64)")
        raise Fail(f"{exe} is {what}; it must be {wanted}.")
    if not os.path.isdir(folders.windows_path(t.folder, "Scenarios", told=told)):
        raise Fail(f"{o.folder} has orbiter.exe but no Scenarios folder beside it.")
    rep.say(*told)
    packages = PACKAGES + (["wine32:i386"] if o.arch == "i686" else [])
    if subprocess.run([os.path.join(SOURCE, "scripts/install-packages.sh"), *packages],
                      stdin=subprocess.DEVNULL).returncode:
        raise Fail("the Debian packages the trial needs are not installed (above).")
    loader, status = run.loader(SOURCE, o.arch)
    if status == 126:
        raise Fail("this machine's kernel runs no 32-bit programs, so Wine's 32-bit loader cannot"
                   " start", "and no Orbiter 2006 can run here.")
    if status:
        raise Fail(f"Wine's loader {loader} fails to start (status {status}); run"
                   f" '{loader} --version' to see why.")
    if o.show and not os.environ.get("DISPLAY"):
        raise Fail("--show uses the display in DISPLAY, and DISPLAY is not set.")
    if not o.zip:
        version = re.search(r"^project\(Skarvel VERSION ([0-9.]+)",
                            open(os.path.join(SOURCE, "CMakeLists.txt")).read(), re.M).group(1)
        o.zip = os.path.join(SOURCE, f"dist/Skarvel-{version}.zip")
        commit = read_commit(SOURCE)
        if commit is None:
            raise Fail(f"{SOURCE} is no git checkout, so the trial cannot tell which commit dist/"
                       " should hold a package of,", "and scripts/package.sh packs only a"
                       " commit. Name the zip to install with --zip FILE.")
        if "\n".join(lines_of(o.zip + ".commit")).strip() != commit:
            rep.say("== dist/ has no package of this commit; making it with scripts/package.sh"
                    " (a minute or two)")
            log = os.path.join(t.work, "package.log")
            with open(log, "wb") as out:
                made = subprocess.run(["bash", os.path.join(SOURCE, "scripts/package.sh")],
                                      stdout=out, stderr=subprocess.STDOUT, cwd=SOURCE,
                                      stdin=subprocess.DEVNULL)
            if made.returncode:
                raise Fail("scripts/package.sh could not make the package; it ended with:",
                           *lines_of(log)[-15:], "Name a zip with --zip instead.")
    if not os.path.isfile(o.zip):
        raise Fail(f"there is no zip {o.zip}")
    return loader, read_dll(o.zip)


def make_run_folder(t):
    o = t.opts
    os.makedirs(o.runs, exist_ok=True)
    stamp = time.strftime("%Y-%m-%d_%H%M%S")
    for n in range(1, 101):
        t.run_dir = os.path.join(o.runs, stamp + (f"-{n}" if n > 1 else ""))
        with contextlib.suppress(FileExistsError):
            os.mkdir(t.run_dir)
            break
    else:
        raise Fail(f"cannot make a run folder in {o.runs}.")
    open(os.path.join(t.run_dir, leftovers.MARKER), "w").close()
    t.rep.open(os.path.join(t.run_dir, "report.txt"))
    t.rep.say(f"== Run folder: {t.run_dir}")
    t.processes = os.path.join(t.run_dir, "processes")
    t.record(os.getpid(), "alone", "trial")


def copy_folder(t, dll):
    rep, folder, copy = t.rep, t.folder, os.path.join(t.run_dir, "Orbiter")
    rep.say(f"== Taking an inventory of {folder} and copying it into the run folder")
    vfs = os.statvfs(t.opts.runs)
    free = vfs.f_bavail * vfs.f_frsize
    # Besides the copy: the DLL, two screenshots (the last and the one being written, each at
    # most the private screen's pixels), and the report and Orbiter's output.
    reserve = len(dll) + 2 * SCREEN_BYTES + (1 << 20)
    try:
        total, over, largest = folders.room(folder, free - reserve)
    except folders.WalkError as error:
        raise Fail(f"in {folder}, {error}", "Nothing was run.")
    if over:
        links = "; ".join(f"{link} -> {os.readlink(os.path.join(folder, link))} "
                          f"({'more than ' if cut else ''}{folders.in_mb(size)})"
                          for link, size, cut in largest)
        raise Fail(f"a copy of {folder} would take more than the {folders.in_mb(free)} free in"
                   f" {t.opts.runs}; nothing was run.",
                   *([f"The links it follows that lead to the most: {links}"] if links else []))
    try:
        t.inventory = folders.take(folder)
    except folders.WalkError as error:
        raise Fail(f"in {folder}, {error}", "Nothing was run.")
    text = folders.inventory_text(t.inventory).encode("utf-8", "surrogateescape")
    if total + reserve + 2 * len(text) > free:
        raise Fail(f"the copy of {folder} and its inventories would take more than the"
                   f" {folders.in_mb(free)} free in {t.opts.runs}; nothing was run.")
    write_new(os.path.join(t.run_dir, "inventory"), text)
    writes = [os.path.relpath(folders.windows_path(folder, *name.split("/")), folder)
              for name in ("Scenarios/(Current state).scn", "Orbiter.cfg", "Orbiter.log",
                           "Device.dat", "keymap.cfg")]
    try:
        left_out = folders.copy(folder, copy, set(writes))
    except folders.WalkError as error:
        raise Fail(f"could not copy {folder}: {error}", "Nothing was run.")
    if left_out:
        rep.say("== Left out of the copy, as neither file, folder nor link:",
                *(f"   {folders.shown(p)} ({kind})" for p, kind in left_out))
    rep.say(f"== Installing Skarvel.dll from {os.path.basename(t.opts.zip)} in the copy and"
            " ticking it in its Orbiter.cfg")
    plugin = folders.windows_path(copy, "Modules", "Plugin")
    os.makedirs(plugin, exist_ok=True)
    write_new(os.path.join(plugin, "Skarvel.dll"), dll)
    config = os.path.join(copy, writes[1])
    try:
        module_list.tick(config, "Skarvel")
    except OSError as error:
        raise Fail(f"could not tick the module in {config}: {error}", "Nothing was run.")
    return copy


def take_prefix(t):
    """The Wine prefix, (PREFIX, OWN), once this run holds it. One run at a time per prefix:
    runs sharing one share its wineserver. It is taken before the folder is counted and copied,
    so that a waiting run finds the room and the folder as the run before it left them. The
    lock is this process's alone, so a run killed outright never blocks the next."""
    own = os.path.join(SOURCE, "build/try-in-orbiter/wineprefix" + ("-x64" if t.opts.arch == "x64" else ""))
    prefix = os.environ.get("WINEPREFIX") or own
    os.makedirs(prefix, exist_ok=True)
    t.lock = os.open(prefix, os.O_RDONLY)
    try:
        fcntl.flock(t.lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        t.rep.say(f"== Another run is using the Wine prefix {prefix}; waiting for it to end"
                  " (Ctrl-C stops)")
        fcntl.flock(t.lock, fcntl.LOCK_EX)
        leftovers.end_what_killed_runs_left(t.opts.runs, t.rep.say)
    return prefix, own


def start_wine(t, loader, prefix, own):
    o, rep = t.opts, t.rep
    t.env = run.wine_environment(SOURCE, loader, t.work)
    t.env["WINEPREFIX"] = prefix
    if not o.show:
        t.display, t.env["DISPLAY"] = run.start_display()
        t.record(t.display.pid, "alone", "Xvfb")
        if not t.env["DISPLAY"]:
            raise Fail("Xvfb did not start; run 'Xvfb -displayfd 1' by hand to see why.")
    if prefix == own:
        if subprocess.run(["wineserver", "-k0"], env=t.env, stderr=subprocess.DEVNULL).returncode == 0:
            rep.say(f"== Ending the Wine session that a run killed outright left in {prefix}")
            subprocess.run(["wineserver", "-k"], env=t.env, stderr=subprocess.DEVNULL)
        set_up = run.wine_setup(SOURCE, 'set_up_wine_prefix "$1" "$2"', o.arch, prefix, env=t.env)
        rep.say(*set_up.stdout.decode(errors="replace").splitlines())
        if set_up.returncode:
            raise Fail(f"the Wine prefix {prefix} could not be set up (above).")
        t.owns_session = True
    holder, pipe = run.hold_desktop(t.env, virtual_desktop=prefix == own)
    t.record(holder.pid, "alone", "cmd.exe")
    if pipe is None:
        raise Fail(f"Wine's session and desktop did not come up within 60 s in {prefix}; run the"
                   " trial again, and if it says this again, remove that prefix so that it is set"
                   " up anew.")
    t.desktop = holder, pipe


def named_scenario(t, copy, request, staging):
    """The file the command line's scenario names, as Orbiter under Wine finds it (Wine's
    winepath, from the copy, so that case, "..", drive letters and short names count), as the
    report shows it; and whether it is the staging file itself."""
    if not request.scenario:
        return None, "", False
    word = verdict.with_extension(request.scenario)
    # Into a file, not a pipe: a Wine program the session starts may keep a pipe open for ever.
    with tempfile.TemporaryFile(dir=t.work) as out:
        found = subprocess.run(["wine", "winepath", "-u", word], cwd=copy, env=t.env, stdout=out,
                               stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        out.seek(0)
        path = out.read().decode("utf-8", "surrogateescape").strip()
    if found.returncode or not os.path.isfile(path):
        return None, "", False
    shown = os.path.relpath(path, copy).replace("/", "\\") if folders.inside(path, copy) else word
    return path, shown, os.path.exists(staging) and os.path.samefile(path, staging)


def staged_scenario(copy, scenarios, staging, first, named, named_shown):
    """The scenario whose bytes were staged: the one the command line names when it has them,
    else the first scenario file in Scenarios with them, in sorted order, else ""."""
    if named and open(named, "rb").read() == first:
        return named_shown
    for rel, st, _ in sorted(folders.walk(scenarios)):
        path = os.path.join(scenarios, rel)
        if rel.lower().endswith(".scn") and os.path.isfile(path) and not (
                os.path.exists(staging) and os.path.samefile(path, staging)):
            if open(path, "rb").read() == first:
                return os.path.relpath(path, copy).replace("/", "\\")
    return ""


def try_orbiter(t, copy):
    o, rep = t.opts, t.rep
    line = verdict.windows_command_line(o.command_line)
    request = verdict.module_request(line)
    scenarios = folders.windows_path(copy, "Scenarios")
    staging = folders.windows_path(scenarios, "(Current state).scn")
    log = folders.windows_path(copy, "Orbiter.log")
    log_before = os.stat(log) if os.path.exists(log) else None
    copy_inventory = folders.take(copy)
    write_new(os.path.join(t.run_dir, "inventory-of-the-copy"),
              folders.inventory_text(copy_inventory).encode("utf-8", "surrogateescape"))
    exe = os.path.basename(folders.windows_path(copy, "orbiter.exe"))
    rep.say(f"== Running {' '.join(filter(None, [exe, line]))} in the copy (at most {o.seconds} s)")
    named, named_shown, names_staging = named_scenario(t, copy, request, staging)
    t.watch = run.Watch(scenarios, staging)
    t.record(t.watch.process.pid, "alone", "inotifywait")
    shot = o.screenshot or os.path.join(t.run_dir, "screenshot.png")
    shot_taken, shot_error, usage_seen, lowest = False, None, False, None
    started = time.monotonic()
    with open(os.path.join(t.run_dir, "orbiter.out"), "wb") as out:
        t.orbiter = subprocess.Popen(["wine", exe, *o.command_line], cwd=copy, env=t.env,
                                     stdin=subprocess.DEVNULL, stdout=out, stderr=out)
    t.record(t.orbiter.pid, "alone", exe)
    next_picture, stopped = 0.0, False
    while t.orbiter.poll() is None:
        now = time.monotonic()
        if not usage_seen:
            windows = subprocess.run(["xwininfo", "-root", "-tree"], env=t.env, capture_output=True)
            usage_seen = b'"Skarvel Usage"' in windows.stdout
        if now >= next_picture:  # about a second apart; the last one is kept
            shot_error = run.screenshot(shot, t.env)
            shot_taken = shot_taken or shot_error is None
            next_picture = now + 1
        vfs = os.statvfs(t.run_dir)
        free = vfs.f_bavail * vfs.f_frsize
        lowest = free if lowest is None else min(lowest, free)
        if now - started >= o.seconds:
            stopped = True
            break
        time.sleep(0.1)
    status = None if stopped else t.orbiter.returncode
    took = time.monotonic() - started
    if stopped:
        t.stop_orbiter()
    t.orbiter = None
    t.watch.stop()
    first, saved_later = t.watch.first, t.watch.saved_later
    t.watch = None

    orbiter_out = "\n".join(lines_of(os.path.join(t.run_dir, "orbiter.out")))
    log_after = os.stat(log) if os.path.exists(log) else None
    written = log_after is not None and (log_before is None or (log_after.st_size, log_after.st_mtime_ns)
                                         != (log_before.st_size, log_before.st_mtime_ns))
    log_lines = lines_of(log)
    module_line = first_match(log_lines, r"Module Skarvel\.dll ")
    cannot = verdict.could_not_try(written, orbiter_out, lowest, module_line)
    if cannot:
        raise Fail(f"{cannot[0]}, so nothing is known about the module. The last lines Orbiter and"
                   f" Wine printed ({t.run_dir}/orbiter.out):",
                   *(orbiter_out.splitlines()[-12:] or ["(nothing)"]), cannot[1])
    staged = staged_scenario(copy, scenarios, staging, first, named, named_shown) \
        if first is not None and not names_staging else ""
    shown_staging = os.path.relpath(staging, copy).replace("/", "\\")
    scenario, session, said, drove = verdict.conclude(verdict.Watched(
        module_line=module_line,
        failed_line=first_match(log_lines, r"(?i)Failed loading module .*Skarvel\.dll"),
        stopped=stopped, status=status or 0, seconds=o.seconds, usage_seen=usage_seen,
        names_staging=names_staging, first_written=first is not None, saved_later=saved_later,
        staged=staged, paused=request.paused, empty_line=not verdict.split_module(line),
        staging=shown_staging))
    module = module_line or first_match(
        log_lines, r"(?i)Failed loading module .*Skarvel\.dll") or "Orbiter.log has no line for Skarvel.dll"
    rep.say("== Report",
            f"   copy:       {copy} ({folders.in_mb(folders.disk_usage(copy))} on disk; its asset"
            " folders are links to yours)",
            f"   module:     {module}",
            f"   orbiter:    still running after {o.seconds} s; stopped" if stopped else
            f"   orbiter:    ended with status {status} after {took:.1f} s",
            f"   scenario:   {scenario}", f"   session:    {session}",
            f"   screenshot: {shot}" if shot_taken else
            "   screenshot: none (Orbiter ended before the first one)" if shot_error is None else
            f"   screenshot: none written ({shot_error})",
            f"   verdict:    {said}")
    if (not drove or status) and status != 255 and orbiter_out.strip():
        rep.say(f"== The last lines Orbiter and Wine printed ({t.run_dir}/orbiter.out):",
                *(f"   {x}" for x in orbiter_out.splitlines()[-12:]))
    changes = folders.compare(copy_inventory, folders.take(copy))
    written = [c.path + (f" {c.detail}" if c.kind == "new" and c.detail else "")
               for c in changes if c.kind != "removed"]
    removed = [f"{c.path} {c.detail}".strip() for c in changes if c.kind == "removed"]
    rep.say(f"== Written during the run: {'; '.join(written) or 'nothing'}")
    if removed:
        rep.say(f"== Removed during the run: {'; '.join(removed)}")
    return drove, said


def trial(t):
    t.work = tempfile.mkdtemp(prefix="skarvel-trial-")
    loader, dll = prepare(t)
    make_run_folder(t)
    # Before the room is counted: a run killed outright may have left processes writing.
    leftovers.end_what_killed_runs_left(t.opts.runs, t.rep.say)
    prefix, own = take_prefix(t)
    copy = copy_folder(t, dll)
    start_wine(t, loader, prefix, own)
    drove, said = try_orbiter(t, copy)
    with t.held():
        t.check_user_folder()
    if drove:
        t.rep.say("== To install the module for real, unpack the zip into your folder, keeping its"
                  " folders:", f"       unzip {quoted(t.opts.zip)} -d {quoted(t.folder)}",
                  "   then start Orbiter there and tick Skarvel in the launchpad's Modules tab.")
    elif said.startswith("ended at start"):
        t.rep.say("== Do not install the module in this Orbiter: it ends this Orbiter at start, so"
                  " with the", "   module ticked, this Orbiter would no longer start.")
    else:
        t.rep.say("== This Orbiter did not load the module, so installed for real it would not"
                  " run either.")


def quoted(text):
    return text if re.fullmatch(r"[\w@%+=:,./-]+", text) else "'" + text.replace("'", "'\\''") + "'"


def main(argv):
    report.guard_standard_descriptors()
    rep = report.Report()
    try:
        opts = options.parse(argv, SOURCE, os.environ)
        if opts.help:
            rep.say(options.HELP.rstrip("\n"))
            return 0
        options.check_places(opts)
    except options.Usage as error:
        rep.error(str(error), f"run: {options.COMMAND} --help")
        return 2
    t = Trial(opts, rep)
    for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, t.signal)
    status = 1
    try:
        trial(t)
        status = 0
    except Interrupted as stop:
        rep.say("", f"== Interrupted ({signal.Signals(stop.args[0]).name[3:]})")
        status = 128 + stop.args[0]
    except Fail as failure:
        rep.error(*failure.args)
    except (OSError, RuntimeError) as error:
        full = getattr(error, "errno", None) == errno.ENOSPC
        rep.error(f"the file system is full: {error}" if full else str(error),
                  "Make room there, or name another place with --runs DIR; nothing of your folder"
                  " was changed by this." if full else "The trial cannot go on.")
    finally:
        t.holding = True  # the clean-up runs whole; a signal now is noted, not obeyed
        t.clean_up()
        if t.changed:
            status = 3
        if rep.file_error:
            rep.file_error, file_error = None, rep.file_error
            rep.error(f"report.txt could not be written whole: {file_error}")
        rep.close()
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
