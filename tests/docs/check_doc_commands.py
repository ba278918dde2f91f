#!/usr/bin/env python3
"""Runs the docs' commands where a new user runs them: in a fresh clone of the committed HEAD,
with no build/ and no dist/. Every line of a ```sh block in README.md and docs/*.md runs there
as written, file by file and in order, with no standard input, and must end with status 0;
only the lines `not_run` names are left out, each with its reason. Besides:
  - a demo command must remove its scratch folder, and the trace lines of the ```text block
    that follows it must be the ones it printed, in order;
  - the package command must leave dist/Skarvel-<version>.zip and print its sha256.
A check started by a command it runs (a preset's ctest that holds this check) skips itself."""
import hashlib
import os
import re
import subprocess
import sys
import tempfile
import time

from doc_blocks import ROOT, commands, doc_files

# Every trace line of orbiter-sim begins with one of these words and a colon.
TRACE = re.compile(r"^(module|tree|start-paused|copy|dialog|click|simulation|orbiter|user): ")
NESTED = "SKARVEL_CHECKING_DOCS"


def not_run(command):
    """Why a command is not run here, or None when it is."""
    if command.startswith("bash scripts/test.sh"):
        return "the test command itself"
    if re.match(r"bash scripts/try-in-orbiter\.sh [^-]", command):
        return "it needs an Orbiter folder"
    return None


def shown_trace(output):
    """The trace lines of a text block, without their annotation (two or more blanks on)."""
    return [re.sub(r"  +.*$", "", line) for line in output if TRACE.match(line)]


def demo_problems(printed, output):
    found = []
    folder = re.search(r"^== Running orbiter-sim in (.+) \(removed at the end\)$", printed, re.M)
    if folder is None or os.path.exists(folder.group(1)):
        found.append(f"it left its scratch folder ({folder.group(1) if folder else 'not named'})")
    shown = shown_trace(output)
    got = [line for line in printed.splitlines() if TRACE.match(line)]
    if shown and shown != got:
        found.append(
            "the trace lines the docs show differ from those printed:\n  shown:\n    "
            + "\n    ".join(shown)
            + "\n  printed:\n    "
            + "\n    ".join(got)
        )
    return found


def package_problems(clone, printed):
    version = re.search(
        r"^project\(Skarvel VERSION ([0-9.]+)",
        open(os.path.join(clone, "CMakeLists.txt")).read(),
        re.M,
    ).group(1)
    zip_file = f"dist/Skarvel-{version}.zip"
    path = os.path.join(clone, zip_file)
    if not os.path.isfile(path):
        return [f"it left no {zip_file}"]
    digest = hashlib.sha256(open(path, "rb").read()).hexdigest()
    if f"{digest}  {zip_file}" not in printed.splitlines():
        return [f"it did not print the sha256 of {zip_file}: {digest}"]
    return []


def main():
    if os.environ.get(NESTED):
        print("SKIP: a command of the docs' check started this run; it checks the docs already.")
        return 77
    commit = subprocess.run(
        ["git", "-C", ROOT, "rev-parse", "HEAD"], capture_output=True, text=True, check=True
    ).stdout.strip()
    failed = ran = traces = 0
    with tempfile.TemporaryDirectory() as scratch:
        # Open to all, as a clone in a user's home is: some tests run as another user.
        os.chmod(scratch, 0o755)
        clone = os.path.join(scratch, "clone")
        print(f"== Cloning commit {commit} into {clone} (uncommitted changes are not in it)")
        subprocess.run(["git", "clone", "-q", "--no-checkout", ROOT, clone], check=True)
        subprocess.run(["git", "-C", clone, "checkout", "-q", "--detach", commit], check=True)
        environment = dict(os.environ, **{NESTED: "1"})
        for doc in doc_files(clone):
            name = os.path.relpath(doc, clone)
            for command, output in commands(doc.read_text()):
                reason = not_run(command)
                if reason:
                    print(f"-- {name}: not run here: `{command}` ({reason})")
                    continue
                print(f"-- {name}: running `{command}`", flush=True)
                ran += 1
                start = time.monotonic()
                run = subprocess.run(
                    ["bash", "-c", command],
                    cwd=clone,
                    env=environment,
                    stdin=subprocess.DEVNULL,
                    stdout=subprocess.PIPE,
                    stderr=subprocess.STDOUT,
                    text=True,
                    errors="replace",
                )
                print(f"   ended with {run.returncode} after {time.monotonic() - start:.1f} s")
                found = [] if run.returncode == 0 else [f"it ended with status {run.returncode}"]
                if command.startswith("bash scripts/demo.sh"):
                    found += demo_problems(run.stdout, output)
                    traces += bool(shown_trace(output))
                if command.startswith("bash scripts/package.sh"):
                    found += package_problems(clone, run.stdout)
                if found:
                    failed += 1
                    print(f"FAIL: {name}: `{command}`, run in a fresh clone:")
                    print("\n".join("      " + line for p in found for line in p.splitlines()))
                    print("      Its output:")
                    print("\n".join("      " + line for line in run.stdout.splitlines()))
    if traces == 0:
        failed += 1
        print("FAIL: no ```text block after a demo command shows orbiter-sim's trace lines.")
        print("      Keep the demo's output in the docs, or mend this check.")
    if failed == 0:
        print(f"ok: the docs' {ran} commands end with 0 in a fresh clone and do what they say")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
