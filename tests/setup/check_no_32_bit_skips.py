"""Takes the path of a kernel without 32-bit programs on any machine: runs each test of a build
that runs under Wine (tests/wine/, the trial's Wine cases, the Win32 unit tests through their
emulator) with SKARVEL_NO_32_BIT=1, and checks that it skips (status 77) with a SKIP line that
names the reason. Only the i686 build registers it: there no Wine test may run on such a kernel.

    python3 tests/setup/check_no_32_bit_skips.py BUILD_DIR
"""

import json
import os
import subprocess
import sys

SELF = "i686_wine_tests_skip_without_32_bit"


def runs_under_wine(command):
    return any("/tests/wine/" in word or word.endswith("/wine_cases.py") for word in command)


def main(build):
    listed = subprocess.run(
        ["ctest", "--test-dir", build, "--show-only=json-v1"],
        capture_output=True,
        text=True,
        check=True,
        timeout=60,
    )
    tests = [
        test
        for test in json.loads(listed.stdout)["tests"]
        if test["name"] != SELF and runs_under_wine(test.get("command", []))
    ]
    if not tests:
        print(f"FAIL: {build} registers no test that runs under Wine; is it the i686 build?")
        return 1
    failed = 0
    for test in tests:
        properties = {p["name"]: p["value"] for p in test.get("properties", [])}
        run = subprocess.run(
            test["command"],
            cwd=properties.get("WORKING_DIRECTORY", build),
            env=dict(os.environ, SKARVEL_NO_32_BIT="1"),
            stdin=subprocess.DEVNULL,
            capture_output=True,
            text=True,
            errors="replace",
            timeout=300,
        )
        reasons = [line for line in run.stdout.splitlines() if line.startswith("SKIP: ")]
        if run.returncode == 77 and reasons and "SKARVEL_NO_32_BIT=1" in reasons[0]:
            print(f"ok: {test['name']} skips: {reasons[0][len('SKIP: '):]}")
        else:
            failed += 1
            print(f"FAIL: {test['name']} ended with {run.returncode}, not a skip naming the reason")
            print("\n".join("    " + line for line in (run.stdout + run.stderr).splitlines()[-15:]))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
