"""What the docs show: the blocks of README.md and docs/*.md. Every line of a ```sh block is a
command to type on Linux, from the repository's folder; the ```text block right after one is
what it printed."""
import pathlib
import re

ROOT = pathlib.Path(__file__).resolve().parents[2]
BLOCK = re.compile(r"^```(\w*)\n(.*?)^```\n", re.M | re.S)


def doc_files(root=ROOT):
    """README.md, then the manuals in docs/, in name order."""
    root = pathlib.Path(root)
    return [root / "README.md"] + sorted((root / "docs").glob("*.md"))


def blocks(text):
    """(kind, lines, whether only blank lines stand between it and the block before) of each
    fenced block, in order."""
    found, end = [], None
    for match in BLOCK.finditer(text):
        adjacent = end is not None and text[end : match.start()].strip() == ""
        found.append((match.group(1), match.group(2).splitlines(), adjacent))
        end = match.end()
    return found


def commands(text):
    """(command, what it printed) for each line of a sh block: what it printed is the ```text
    block right after the sh block, and goes with the block's last line only."""
    found = []
    listed = blocks(text) + [("", [], False)]
    for (kind, lines, _), (next_kind, next_lines, adjacent) in zip(listed, listed[1:]):
        if kind != "sh":
            continue
        output = next_lines if next_kind == "text" and adjacent else []
        found += [(line, output if n == len(lines) - 1 else []) for n, line in enumerate(lines)]
    return found
