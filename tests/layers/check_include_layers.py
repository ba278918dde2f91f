"""Checks that every include runs down the layers, never back up: the module (its platform seam,
platform/, included) at the bottom; then the testbed's layers, each above the one before:
testbed/orbiter-model/, what the simulator and both hosts know of Orbiter; the simulator
(testbed/sim-platform/, testbed/desktop/); the hosts' shared core (testbed/hosts/core/); the two
hosts; then the tests, the trial, the benchmarks and the fuzzers, which may include anything.
Names each include that runs up, and ends with 1 when there is one.

    python3 tests/layers/check_include_layers.py SOURCE_DIR
"""

import os
import re
import sys

ABOVE_EVERYTHING = ("tests/", "bench/", "fuzz/", "trial/")
MODULE = ("frame/", "request/", "launchpad/", "resources/", "platform/")
MODEL = "testbed/orbiter-model/"
SIMULATOR = ("testbed/sim-platform/", "testbed/desktop/")
CORE = "testbed/hosts/core/"
SIM_HOST = "testbed/hosts/orbiter-sim/"
WIN32_HOST = "testbed/hosts/win32/"

# (the files, by the start of their path; what they must not include; why). The first row
# whose files match a file applies to it.
RULES = [
    (MODULE, ("testbed/",), "the module lies at the bottom, below the testbed"),
    (
        (MODEL,),
        (*SIMULATOR, "testbed/hosts/"),
        "what the simulator and the hosts share lies below both",
    ),
    (SIMULATOR, ("testbed/hosts/",), "the simulator lies below the hosts"),
    ((CORE,), (SIM_HOST, WIN32_HOST), "the hosts' shared core depends on neither host"),
    ((SIM_HOST,), (WIN32_HOST,), "neither host depends on the other"),
    (
        (WIN32_HOST,),
        (*SIMULATOR, SIM_HOST),
        "the Win32 host uses nothing of the simulator, nor of the other host",
    ),
]
SOURCE_ENDINGS = (".cpp", ".h", ".rc", ".rc.in")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def included_path(root, including, name):
    """Where a quoted include leads, relative to ROOT: beside the including file when it is
    there, else from the source root, which every target has on its include path."""
    beside = os.path.normpath(os.path.join(os.path.dirname(including), name))
    if os.path.exists(os.path.join(root, beside)):
        return beside
    return os.path.normpath(name)


def violations(root):
    for top in sorted({start.split("/")[0] for files, _, _ in RULES for start in files}):
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if not name.endswith(SOURCE_ENDINGS):
                    continue
                path = os.path.relpath(os.path.join(folder, name), root)
                rule = next((r for r in RULES if path.startswith(r[0])), None)
                if rule is None:
                    continue
                with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        target = included_path(root, path, match.group(1))
                        if target.startswith(rule[1] + ABOVE_EVERYTHING):
                            yield f"{path}:{number} includes {target}: {rule[2]}"


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: check_include_layers.py SOURCE_DIR")
    found = list(violations(sys.argv[1]))
    for line in found:
        print("FAIL:", line)
    if found:
        sys.exit(1)
    print("ok: every include runs down the layers")


if __name__ == "__main__":
    main()
