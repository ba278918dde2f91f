"""Ticks a plug-in module in Orbiter.cfg as the launchpad's Modules tab does: the name goes into
the first block between the lines ACTIVE_MODULES and END_MODULES, indented by two blanks, and the
block is added at the end of the file when it has none. A name already listed stays as it is.
Every other byte of the file stays; the added lines end as the file's lines do (CR LF when any
line ends so, else LF).

    python3 -P -m trial.module_list ORBITER_CFG NAME    (NAME: the DLL's file name without .dll)
"""
import os
import re
import sys


def text(line):
    """A line as the launchpad reads it: without the blanks around it and its line end."""
    return line.lstrip(b" \t").rstrip(b" \t\r\n")


def ticked(data, name):
    """DATA, the bytes of an Orbiter.cfg, with NAME ticked."""
    eol = b"\r\n" if b"\r\n" in data else b"\n"
    lines = re.findall(rb".*\n|.+", data)  # each line keeps its own line end
    texts = [text(line) for line in lines]
    has_block = b"ACTIVE_MODULES" in texts
    begin = texts.index(b"ACTIVE_MODULES") + 1 if has_block else len(lines)
    closed = b"END_MODULES" in texts[begin:]
    end = texts.index(b"END_MODULES", begin) if closed else len(lines)
    if name in texts[begin:end]:
        return data
    if not closed and lines and not lines[-1].endswith(b"\n"):
        lines[-1] += eol  # a last line without a line end gets one, so that lines can follow it
    opening = [] if has_block else [b"ACTIVE_MODULES" + eol]
    lines[end:end] = opening + [b"  " + name + eol] + ([] if closed else [b"END_MODULES" + eol])
    return b"".join(lines)


def tick(path, name):
    """Ticks NAME in the Orbiter.cfg at PATH, which is made when missing."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except FileNotFoundError:
        data = b""
    with open(path, "wb") as f:
        f.write(ticked(data, os.fsencode(name)))


if __name__ == "__main__":
    if len(sys.argv) != 3 or not sys.argv[2]:
        print("usage: python3 -P -m trial.module_list ORBITER_CFG NAME", file=sys.stderr)
        sys.exit(2)
    try:
        tick(*sys.argv[1:])
    except OSError as error:
        sys.exit(f"could not tick {sys.argv[2]} in {sys.argv[1]}: {error}")
