"""Tries Skarvel in a real Orbiter folder under Wine without any way to write into it
(docs/trial.md).

  bash scripts/try-in-orbiter.sh [options] ORBITER_FOLDER [-- ORBITER'S COMMAND LINE...]

  --zip FILE         the add-on zip to install (default: dist/Skarvel-<version>.zip, made by
                     scripts/package.sh from this commit when dist/ has none for it)
  --seconds N        stop Orbiter after N seconds, at most 86400, if it has not ended by then
                     (default 60)
  --show             use the display in DISPLAY instead of a private Xvfb one
  --screenshot FILE  where the last picture before the end goes (PNG; default: screenshot.png
                     in the run folder); a regular file or a new name, outside your folder
  --runs DIR         where the run folders go (default: build/try-in-orbiter/runs), outside
                     your folder

Orbiter runs in a sandbox: your folder and the rest of the file system are read-only there, and
every write Orbiter makes in its folder lands in the run folder, DIR/DATE_TIME, which stays
until you remove it: written/, what Orbiter wrote in its folder; report.txt, all the trial
printed; orbiter.out, what Orbiter and Wine printed; screenshot.png.

Exit status: 0 Orbiter was tried (whatever the verdict); 1 it could not try; 2 bad usage;
129, 130 or 143 HUP, INT or TERM stopped it.
"""
import argparse
import os
import re
import stat
from dataclasses import dataclass

from trial import folder as folders

COMMAND = "bash scripts/try-in-orbiter.sh"
HELP = __doc__  # the text above is --help


class Usage(Exception):
    """Bad usage; the message says what is wrong."""


@dataclass(frozen=True)
class Options:
    folder: str
    command_line: list
    zip: str = ""
    seconds: int = 60
    show: bool = False
    screenshot: str = ""
    runs: str = ""
    help: bool = False
    arch: str = "i686"
    prefix: str = ""  # WINEPREFIX: a prefix of the user's, only read


class _Parser(argparse.ArgumentParser):
    def error(self, message):
        if m := re.match(r"argument (\S+): expected one argument", message):
            raise Usage(f"{m.group(1).split('/')[0]} needs a value.")
        raise Usage(message)


def parse(argv, source_dir, environ):
    """The options of argv; Orbiter's command line is what follows the first "--"."""
    cut = argv.index("--") if "--" in argv else len(argv)
    words, rest = argv[:cut], argv[cut + 1 :]
    parser = _Parser(add_help=False, allow_abbrev=False, prog=COMMAND)
    for name in ("--zip", "--seconds", "--screenshot", "--runs"):
        parser.add_argument(name)
    for name in ("--show", "--help", "-h"):
        parser.add_argument(name, action="store_true")
    parser.add_argument("folders", nargs="*")
    args, unknown = parser.parse_known_args(words)
    if args.help or args.h:
        return Options("", [], help=True)
    one = "name one Orbiter folder; Orbiter's command line follows --."
    for word in unknown:
        raise Usage(f"unknown option {word}." if word.startswith("-") else one)
    for name in ("zip", "seconds", "screenshot", "runs"):
        if getattr(args, name) == "":
            raise Usage(f"--{name} needs a value.")
    if len(args.folders) != 1:
        raise Usage(one if args.folders else "name the Orbiter folder to try the module in.")
    seconds = args.seconds or "60"
    if not re.fullmatch(r"[1-9][0-9]{0,4}", seconds) or int(seconds) > 86400:
        raise Usage(f"--seconds needs a whole number of seconds from 1 to 86400, not '{seconds}'.")
    arch = environ.get("SKARVEL_TRY_ARCH", "i686")
    if arch not in ("i686", "x64"):
        raise Usage("SKARVEL_TRY_ARCH is i686 or x64 (x64 only for the project's tests).")
    prefix = environ.get("WINEPREFIX", "")
    if prefix and not (os.path.isabs(prefix) and os.path.isfile(f"{prefix}/system.reg")):
        raise Usage(
            f"WINEPREFIX is '{prefix}', which is no Wine prefix (an absolute path to a folder"
            " that holds system.reg); set it to one, or unset it to use the trial's own."
        )
    full = lambda p: os.path.abspath(p) if p else ""  # the shell has expanded ~ already
    return Options(
        args.folders[0],
        rest,
        zip=full(args.zip),
        seconds=int(seconds),
        show=args.show,
        screenshot=full(args.screenshot),
        runs=full(args.runs) or os.path.join(source_dir, "build/try-in-orbiter/runs"),
        arch=arch,
        prefix=prefix,
    )


def nearest(path):
    """The nearest part of path that exists, links followed, and its status."""
    while True:
        try:
            return os.path.realpath(path), os.stat(path)
        except (FileNotFoundError, NotADirectoryError):
            path = os.path.dirname(path)
        except OSError as error:
            raise Usage(f"{path} cannot be looked at: {error.strerror}.")


def lies_in(path, folder):
    """Whether path, or the nearest part of it that exists, is the folder or lies in it. Places
    are compared where they lie on their file system, so that a link, a second mount of the
    folder or a mount of a folder inside it counts."""
    table = folders.mounts()
    device, inner = folders.identity(nearest(path)[0], table)
    where, outer = folders.identity(folder, table)
    return device == where and (inner + "/").startswith(outer.rstrip("/") + "/")


def check_places(opts, source_dir, environ):
    """Bad usage for a place the trial would write that it cannot, or that lies in the user's
    folder: the run folders, the screenshot, the scratch folder and the source tree, where the
    trial builds its probe and sets up its Wine prefix."""
    found, st = nearest(opts.runs)
    if not stat.S_ISDIR(st.st_mode) or not os.access(found, os.W_OK | os.X_OK):
        raise Usage(f"--runs names {opts.runs}, but {found} is not a folder you may write in.")
    if opts.screenshot:
        try:
            fits = stat.S_ISREG(os.lstat(opts.screenshot).st_mode)
        except FileNotFoundError:
            fits = os.path.isdir(os.path.dirname(opts.screenshot))
        except OSError:
            fits = False
        if not fits:
            raise Usage(
                f"--screenshot names {opts.screenshot}; name a PNG file to write, or a new"
                " name in an existing folder."
            )
    if not os.path.isdir(opts.folder):
        return  # said when the folder is checked
    places = [
        ("--runs", opts.runs),
        ("--screenshot", opts.screenshot),
        ("TMPDIR", environ.get("TMPDIR", "")),
        ("the source tree", source_dir),
    ]
    for name, place in places:
        if place and lies_in(place, opts.folder):
            raise Usage(
                f"{name} {place} lies in your Orbiter folder {opts.folder}, where the trial"
                " writes nothing; name a place outside it"
                + (" (clone the source tree elsewhere)." if name == "the source tree" else ".")
            )
    if os.path.isdir(opts.runs) and lies_in(opts.folder, opts.runs):
        raise Usage(
            f"your Orbiter folder lies in --runs {opts.runs}; name another place with"
            " --runs DIR."
        )
