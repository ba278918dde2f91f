"""Tries Skarvel in a real Orbiter folder under Wine without writing into it (docs/trial.md).

  bash scripts/try-in-orbiter.sh [options] ORBITER_FOLDER [-- ORBITER'S COMMAND LINE...]

  --zip FILE         the add-on zip to install (default: dist/Skarvel-<version>.zip, made by
                     scripts/package.sh from this commit when dist/ has none for it)
  --seconds N        stop Orbiter after N seconds, at most 86400, if it has not ended by then
                     (default 60)
  --show             use the display in DISPLAY instead of a private Xvfb one
  --screenshot FILE  where the last picture before the end goes (PNG; default: screenshot.png
                     in the run folder); a regular file or a new name, outside your folder and
                     everything its links lead to
  --runs DIR         where the run folders go (default: build/try-in-orbiter/runs), outside
                     your folder and everything its links lead to

Each run has a folder of its own, DIR/DATE_TIME, which stays until you remove it: Orbiter/, the
copy Orbiter ran in; report.txt, all the trial printed; orbiter.out, what Orbiter and Wine
printed; screenshot.png; the inventories; processes.ended. ORBITER_FOLDER is only read: its
inventory is taken before the run and again after it, on every end, and whatever changed is
named.

Exit status: 0 Orbiter was tried and ORBITER_FOLDER is as it was (whatever the verdict); 1 it
could not try (ORBITER_FOLDER as it was); 2 bad usage; 3 ORBITER_FOLDER changed during the run
(the changes are named; 3 wins over the others); 129, 130 or 143 HUP, INT or TERM stopped it.
"""
import argparse
import errno
import os
import re
import stat
from dataclasses import dataclass

from trial import folder as folders

COMMAND = "bash scripts/try-in-orbiter.sh"


# The text above is --help; this module reads the command line and checks the places it names
# before anything runs: a fault in them is bad usage (status 2).
HELP = __doc__


class Usage(Exception):
    """Bad usage; the message says what is wrong."""


@dataclass
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


class _Parser(argparse.ArgumentParser):
    def error(self, message):
        if m := re.match(r"argument (\S+): expected one argument", message):
            raise Usage(f"{m.group(1).split('/')[0]} needs a value.")
        raise Usage(message)


def parse(argv, source_dir, environ):
    """The options of argv; Orbiter's command line is what follows the first "--"."""
    words, rest = (argv[:argv.index("--")], argv[argv.index("--") + 1:]) if "--" in argv \
        else (argv, [])
    parser = _Parser(add_help=False, allow_abbrev=False, prog=COMMAND)
    for name in ("--zip", "--seconds", "--screenshot", "--runs"):
        parser.add_argument(name)
    for name in ("--show", "--help", "-h", "--keep", "--replace"):
        parser.add_argument(name, action="store_true")
    parser.add_argument("folders", nargs="*")
    args, unknown = parser.parse_known_args(words)
    if args.help or args.h:
        return Options("", [], help=True)
    for word in unknown:
        raise Usage(f"unknown option {word}." if word.startswith("-") else
                    "name one Orbiter folder; Orbiter's command line follows --.")
    if args.keep or args.replace:
        raise Usage(f"there is no --{'keep' if args.keep else 'replace'} any more: the trial never"
                    " writes your Orbiter folder. Each report ends by saying how to install the"
                    " module for real.")
    for name in ("zip", "seconds", "screenshot", "runs"):
        if getattr(args, name) == "":
            raise Usage(f"--{name} needs a value.")
    if len(args.folders) != 1:
        raise Usage("name one Orbiter folder; Orbiter's command line follows --." if args.folders
                    else "name the Orbiter folder to try the module in.")
    seconds = args.seconds or "60"
    if not re.fullmatch(r"[1-9][0-9]{0,4}", seconds) or int(seconds) > 86400:
        raise Usage(f"--seconds needs a whole number of seconds from 1 to 86400, not '{seconds}'.")
    arch = environ.get("SKARVEL_TRY_ARCH", "i686")
    if arch not in ("i686", "x64"):
        raise Usage("SKARVEL_TRY_ARCH is i686 or x64 (x64 only for the project's tests).")
    prefix = environ.get("WINEPREFIX", "")
    if prefix and not prefix.startswith("/"):
        raise Usage(f"WINEPREFIX is '{prefix}', a relative path, and Wine takes only an absolute"
                    " one; set it to one, or unset it to use the trial's own prefix.")
    full = lambda p: os.path.abspath(p) if p else ""  # the shell has expanded ~ already
    return Options(args.folders[0], rest, zip=full(args.zip), seconds=int(seconds),
                   show=args.show, screenshot=full(args.screenshot),
                   runs=full(args.runs) or os.path.join(source_dir, "build/try-in-orbiter/runs"),
                   arch=arch)


def _nearest(path, option):
    """The nearest part of path that exists, and its status; bad usage for a path the system
    cannot take."""
    while True:
        try:
            return path, os.stat(path)
        except (FileNotFoundError, NotADirectoryError):
            path = os.path.dirname(path)
        except OSError as error:
            if error.errno == errno.ENAMETOOLONG:
                raise Usage(f"{option} names a path longer than this system allows.")
            raise Usage(f"{option} names {path}, which cannot be looked at: {error.strerror}.")


def check_places(opts):
    """Bad usage for a run folder or screenshot the run could not write, or would write where the
    user's folder lies or leads to."""
    found, st = _nearest(opts.runs, "--runs")
    if not stat.S_ISDIR(st.st_mode):
        raise Usage(f"--runs names {opts.runs}, but {found} is not a folder.")
    if opts.screenshot:
        try:
            st = os.lstat(opts.screenshot)
            if not stat.S_ISREG(st.st_mode):
                raise Usage(f"--screenshot names {opts.screenshot}, which is not a regular file;"
                            " name a PNG file to write, or a new name.")
        except (FileNotFoundError, NotADirectoryError):
            found, st = _nearest(opts.screenshot, "--screenshot")
            if found != os.path.dirname(opts.screenshot) or not stat.S_ISDIR(st.st_mode):
                raise Usage(f"--screenshot names {opts.screenshot}, but there is no folder"
                            f" {os.path.dirname(opts.screenshot)} to write it in.")
        except OSError as error:
            if error.errno == errno.ENAMETOOLONG:
                raise Usage("--screenshot names a path longer than this system allows.")
            raise
    if not os.path.isdir(opts.folder):
        return  # said when the folder is checked
    home = os.path.realpath(opts.folder)
    runs = os.path.realpath(opts.runs)
    shot = os.path.realpath(opts.screenshot) if opts.screenshot else ""

    def conflict(where, place):
        if folders.inside(runs, place) or folders.inside(place, runs):
            return (f"--runs {opts.runs} and {where} overlap; the run folders must lie outside"
                    " your folder and everything its links lead to. Name another place with"
                    " --runs DIR.")
        if shot and folders.inside(shot, place):
            return (f"--screenshot {opts.screenshot} lies in {where}; it must lie outside your"
                    " folder and everything its links lead to. Name another place.")
        return None

    found = conflict(f"your folder {home}", home) or folders.reach(
        home, lambda link, target: conflict(f"{target} (where your folder's {link} leads)",
                                            target))
    if found:
        raise Usage(found)
