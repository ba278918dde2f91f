#!/usr/bin/env python3
"""Runs the release job's script, .github/scripts/release.sh, here with GitHub stood in for: a
bare repository is the remote that `git push` reaches, and a `gh` first on PATH keeps each
release it is asked to make in a folder and records every call. The first push of a version
makes exactly one release, with the zip the test job carried and its SHA256SUMS; a re-run, a
later push and a push of another branch make none and succeed; a tag that does not name the
version, or a carried package that is not this commit's, fails before anything is released."""
import hashlib
import os
import pathlib
import subprocess
import tempfile
import unittest

SCRIPT = pathlib.Path(__file__).resolve().parents[2] / ".github/scripts/release.sh"

GH = r"""#!/usr/bin/env python3
import os, pathlib, shutil, subprocess, sys
state = pathlib.Path(os.environ["GH_STANDIN"])
with open(state / "calls", "a") as log:
    print(*sys.argv[1:], file=log)
verb, tag, words = sys.argv[2], sys.argv[3], sys.argv[4:]
release = state / "releases" / tag
if verb == "view":
    if not release.is_dir():
        sys.exit("release not found")
    print("false")  # not a draft
    sys.exit(0)
options, assets = {}, []
while words:
    word = words.pop(0)
    if word == "--verify-tag":
        options[word] = True
    elif word.startswith("--"):
        options[word] = words.pop(0)
    else:
        assets.append(word)
tagged = subprocess.run(["git", "ls-remote", "origin", "refs/tags/" + tag], capture_output=True)
if release.is_dir() or not (tagged.stdout and options.get("--verify-tag")):
    sys.exit("the tag has a release already, or no tag was asked for and found")
release.mkdir(parents=True)
shutil.copy(options["--notes-file"], release / "notes")
for asset in assets:
    shutil.copy(asset, release)
"""
VERSION = "1.2.3"
ZIP = f"Skarvel-{VERSION}.zip"


class ReleaseJob(unittest.TestCase):
    def setUp(self):
        scratch = tempfile.TemporaryDirectory()
        self.addCleanup(scratch.cleanup)
        self.root = pathlib.Path(scratch.name)
        self.state, self.bin, self.carried = (self.root / n for n in ("gh", "bin", "carried"))
        for folder in (self.state, self.bin, self.carried):
            folder.mkdir()
        (self.bin / "gh").write_text(GH)
        (self.bin / "gh").chmod(0o755)
        self.origin, self.clone = self.root / "origin.git", self.root / "clone"
        self.git("init", "-q", "--bare", self.origin, cwd=self.root)
        self.git("clone", "-q", self.origin, self.clone, cwd=self.root)
        (self.clone / "CMakeLists.txt").write_text(
            f"project(Skarvel VERSION {VERSION} LANGUAGES CXX)\n"
        )
        (self.clone / "CHANGELOG.md").write_text(
            f"# Changelog\n\n## {VERSION}\n\n- What is new.\n\n## 1.2.2\n\n- What was new.\n"
        )
        self.git("add", "-A")
        self.commit = self.push_commit()
        # What a release job must never upload: a zip built anew, not the one the tests checked.
        (self.clone / "dist").mkdir()
        (self.clone / "dist" / ZIP).write_bytes(b"a zip rebuilt after the tests")
        self.carry(b"the zip the tests checked", self.commit)

    def git(self, *words, cwd=None):
        run = subprocess.run(
            ["git", "-c", "user.name=t", "-c", "user.email=t@t", *map(str, words)],
            cwd=cwd or self.clone,
            capture_output=True,
            text=True,
            check=True,
        )
        return run.stdout.strip()

    def push_commit(self):
        self.git("commit", "-q", "--allow-empty", "-m", "a commit")
        self.git("push", "-q", "origin", "HEAD:refs/heads/main")
        return self.git("rev-parse", "HEAD")

    def carry(self, data, commit):
        (self.carried / ZIP).write_bytes(data)
        (self.carried / "SHA256SUMS").write_text(f"{hashlib.sha256(data).hexdigest()}  {ZIP}\n")
        (self.carried / f"Skarvel-{VERSION}.toolchain").write_text("zip 3.0-13\n")
        (self.carried / f"{ZIP}.commit").write_text(commit + "\n")

    def release(self, ref, expect_status=0):
        env = dict(os.environ, GITHUB_REF=ref, GITHUB_REPOSITORY="them/skarvel")
        env.update(DEFAULT_BRANCH="main", GH_STANDIN=str(self.state))
        env["PATH"] = f"{self.bin}:{env['PATH']}"
        run = subprocess.run(
            ["bash", SCRIPT, self.carried], cwd=self.clone, env=env, capture_output=True, text=True
        )
        self.assertEqual(run.returncode, expect_status, run.stdout + run.stderr)
        return run.stdout + run.stderr

    def creates(self):
        calls = self.state / "calls"
        lines = calls.read_text().splitlines() if calls.exists() else []
        return [line for line in lines if line.startswith("release create")]

    def remote_tag(self):
        return self.git("ls-remote", "origin", f"refs/tags/v{VERSION}").split("\t")[0]

    def test_first_push_makes_one_release_and_every_later_run_leaves_it(self):
        self.release("refs/heads/main")
        release = self.state / "releases" / f"v{VERSION}"
        self.assertEqual(sorted(p.name for p in release.iterdir()), ["SHA256SUMS", ZIP, "notes"])
        self.assertEqual((release / ZIP).read_bytes(), b"the zip the tests checked")
        notes = (release / "notes").read_text()
        self.assertIn("- What is new.", notes)
        self.assertIn("zip 3.0-13", notes)
        self.assertNotIn("What was new", notes)
        self.assertEqual(self.remote_tag(), self.commit)
        self.release("refs/heads/main")  # a re-run
        self.release(f"refs/tags/v{VERSION}")
        self.push_commit()  # a later push at the same version
        self.assertIn("left as it is", self.release("refs/heads/main"))
        self.assertEqual(len(self.creates()), 1)
        self.assertEqual(self.remote_tag(), self.commit)

    def test_a_pushed_tag_of_the_version_is_released_and_another_branch_is_not(self):
        self.release("refs/heads/topic")
        self.assertEqual((self.creates(), self.remote_tag()), ([], ""))
        self.git("push", "-q", "origin", f"HEAD:refs/tags/v{VERSION}")
        self.release(f"refs/tags/v{VERSION}")
        self.assertEqual(len(self.creates()), 1)

    def test_what_fails_before_anything_is_released(self):
        cases = [
            ("a tag of another version", "refs/tags/v1.2.4", None, "does not name the version"),
            (
                "a damaged zip",
                "refs/heads/main",
                lambda: (self.carried / ZIP).write_bytes(b"?"),
                "does not match the SHA256SUMS",
            ),
            (
                "another commit's zip",
                "refs/heads/main",
                lambda: self.carry(b"z", "0" * 40),
                "was packed from 0000",
            ),
            (
                "no changelog entry",
                "refs/heads/main",
                lambda: (self.clone / "CHANGELOG.md").write_text("# Changelog\n"),
                "no entry",
            ),
        ]
        for name, ref, damage, message in cases:
            with self.subTest(name):
                self.setUp()
                if damage:
                    damage()
                self.assertIn(message, self.release(ref, expect_status=1))
                self.assertEqual((self.creates(), self.remote_tag()), ([], ""))
                if ref.startswith("refs/tags/"):  # not even GitHub was asked
                    self.assertFalse((self.state / "calls").exists())

    def test_a_tag_of_the_version_on_another_commit_fails(self):
        self.git("push", "-q", "origin", f"HEAD:refs/tags/v{VERSION}")
        self.carry(b"the zip of the next commit", self.push_commit())
        self.assertIn("not this commit", self.release("refs/heads/main", expect_status=1))
        self.assertEqual(self.creates(), [])


if __name__ == "__main__":
    unittest.main()
