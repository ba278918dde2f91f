#!/usr/bin/env python3
"""Keeps the hosted CI's commands the README's: each `bash scripts/...` step of the workflow
must be a command the README shows, and the README's test and package commands must both be
steps of it, so that neither can change without the other. Every action it uses is pinned to
a full commit hash, which no one can move, as a tag can be moved; every container image to a
version tag and the digest of its contents, and every runner to a versioned image, not -latest."""
import re
import sys

from doc_blocks import ROOT, commands

WORKFLOW = ROOT / ".github/workflows/test-and-release.yml"
NEEDED = ("bash scripts/test.sh", "bash scripts/package.sh")


def problems(readme, workflow):
    shown = {command for command, _ in commands(readme)}
    steps = [
        s
        for s in re.findall(r"^\s*(?:- )?run:\s*(\S.*)$", workflow, re.M)
        if s.startswith("bash scripts/")
    ]
    found = [
        f"the workflow runs `{s}`, which the README does not show" for s in steps if s not in shown
    ]
    found += [f"the README shows no `{c}` in a ```sh block" for c in NEEDED if c not in shown]
    found += [
        f"the workflow does not run the README's `{c}`"
        for c in NEEDED
        if c in shown and c not in steps
    ]
    found += [
        f"the workflow uses {action}, not pinned to a full commit hash"
        for action in re.findall(r"^\s*(?:- )?uses:\s*(\S+)", workflow, re.M)
        if not re.search(r"@[0-9a-f]{40}$", action)
    ]
    found += [
        f"the workflow's image {image} is not pinned to a version tag and a digest"
        for image in re.findall(r"^\s*image:\s*(\S+)", workflow, re.M)
        if not re.fullmatch(r"[\w./-]+:[\w.-]*\d[\w.-]*@sha256:[0-9a-f]{64}", image)
    ]
    found += [
        f"the workflow runs on {label}, which moves; name a version, as ubuntu-24.04"
        for label in re.findall(r"^\s*runs-on:\s*(\S+)", workflow, re.M)
        if label.endswith("-latest")
    ]
    return found


if __name__ == "__main__":
    found = problems((ROOT / "README.md").read_text(), WORKFLOW.read_text())
    for problem in found:
        print(f"FAIL: {problem}")
    if found:
        print(f"      Mend {WORKFLOW.relative_to(ROOT)} as each line above says.")
        sys.exit(1)
    print("ok: the workflow runs the README's test and package commands, and no other script")
