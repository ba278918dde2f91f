#!/usr/bin/env python3
"""Runs the docs' commands where a new user runs them: in a fresh clone of the committed HEAD,
with no build/ and no dist/. Every line of a ```sh block in README.md and docs/*.md runs there
as written, file by file and in order, with no standard input, and must end with status 0;
only the lines `not_run` names are left out, each with its reason. Besides:
  - a demo command must remove its scratch folder, and the trace lines of the ```text block
    that follows it must be the ones it printed, in order;
  - the package command must leave dist/Skarvel-<version>.zip and print its sha256.
The commands that build a preset and run its tests are not run a second time: the test command
runs them, and they must be its very steps, the same presets in the same order."""
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
# A preset built and tested by hand, as the docs show it, and as the test command runs it.
PRESET = re.compile(r"^cmake --preset (\S+) && cmake --build --preset \1 && ctest --preset \1$")
TEST_STEP = re.compile(r"^step .* build_and_test (\S+)$", re.M)
TEST_STEP_COMMANDS = [
    'cmake --preset "$preset"',
    'cmake --build --preset "$preset"',
    'ctest --preset "$preset"',
]


def not_run(command):
    """Why a command is not run here, or None when it is."""
    if command.startswith("bash scripts/test.sh"):
        return "the test command itself"
    if PRESET.match(command):
        return "a step of the test command, which runs it"
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


def preset_problems(clone, shown):
    """What keeps the preset commands the docs show from being the test command's own steps."""
    test_sh = open(os.path.join(clone, "scripts/test.sh")).read()
    steps = TEST_STEP.findall(test_sh)
    found = []
    if shown != steps:
        found.append(f"the docs build and test the presets {shown}, and scripts/test.sh {steps}")
    body = test_sh[test_sh.find("build_and_test() {") :]
    places = [body.find(command) for command in TEST_STEP_COMMANDS]
    if -1 in places or places != sorted(places):
        found.append(
            "build_and_test in scripts/test.sh no longer runs, in order: "
            + "; ".join(TEST_STEP_COMMANDS)
        )
    return found


def main():
    commit = subprocess.run(
        ["git", "-C", ROOT, "rev-parse", "HEAD"], capture_output=True, text=True, check=True
    ).stdout.strip()
    failed = ran = traces = 0
    presets = []
    with tempfile.TemporaryDirectory() as scratch:
        clone = os.path.join(scratch, "clone")
        print(f"== Cloning commit {commit} into {clone} (uncommitted changes are not in it)")
        subprocess.run(["git", "clone", "-q", "--no-checkout", ROOT, clone], check=True)
        subprocess.run(["git", "-C", clone, "checkout", "-q", "--detach", commit], check=True)
        for doc in doc_files(clone):
            name = os.path.relpath(doc, clone)
            for command, output in commands(doc.read_text()):
                reason = not_run(command)
                if PRESET.match(command):
                    presets.append(PRESET.match(command).group(1))
                if reason:
                    print(f"-- {name}: not run here: `{command}` ({reason})")
                    continue
                print(f"-- {name}: running `{command}`", flush=True)
                ran += 1
                start = time.monotonic()
                run = subprocess.run(
                    ["bash", "-c", command],
                    cwd=clone,
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
        for problem in preset_problems(clone, presets):
            failed += 1
            print(f"FAIL: {problem}")
    if traces == 0:
        failed += 1
        print("FAIL: no ```text block after a demo command shows orbiter-sim's trace lines.")
        print("      Keep the demo's output in the docs, or mend this check.")
    if failed == 0:
        print(
            f"ok: the docs' {ran} commands end with 0 in a fresh clone and do what they say,"
            f" and their presets {presets} are the test command's steps"
        )
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
