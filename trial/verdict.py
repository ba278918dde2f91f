"""What a run concludes about the module: the command line as Orbiter hands it to the module and
what the module does with it, and the verdict from what was watched during the run."""
from dataclasses import dataclass

# The module refuses a command line that does not fit its buffer (request/launch_request.h).
LINE_LIMIT = 4096


def windows_command_line(words):
    """The line Wine hands orbiter.exe for these words: a word that is empty or holds a blank or
    a tab in double quotes, a quote escaped with a backslash, backslashes before a quote
    doubled."""
    out = []
    for word in words:
        quoted = word == "" or " " in word or "\t" in word
        text, backslashes = '"' if quoted else "", 0
        for c in word:
            if c == '"':
                text += "\\" * (backslashes + 1)
            backslashes = backslashes + 1 if c == "\\" else 0
            text += c
        out.append(text + ("\\" * backslashes + '"' if quoted else ""))
    return " ".join(out)


def split_module(line):
    """The tokens the module makes of the line. This mirrors SplitCommandLine in
    request/command_line.cpp: a blank or a tab outside quotes ends a token, a quote ends the
    token before it and opens or closes quotes, and empty tokens are dropped."""
    tokens, token, quoted = [], "", False
    for c in line:
        if (c in " \t" and not quoted) or c == '"':
            if token:
                tokens.append(token)
            token = ""
            quoted = quoted != (c == '"')
        else:
            token += c
    return tokens + [token] if token else tokens


@dataclass
class Request:
    letters: str  # every option letter the module applies, in order
    scenario: str  # the last token that is no option, or ""

    @property
    def paused(self):
        """Whether the module ticks "start paused"."""
        return "p" in self.letters.lower()


def module_request(line):
    """What the module takes from the line, as ApplyCommandLine and ApplyOptionLetters in
    request/launch_request.cpp do: a token that begins with a minus is options, each character
    after that first minus one letter (a second minus means nothing), and the last other token
    is the scenario. A line too long for the module is not applied at all."""
    if len(line.encode("utf-8", "surrogateescape")) >= LINE_LIMIT:
        return Request("", "")
    letters, scenario = "", ""
    for token in split_module(line):
        if token.startswith("-"):
            letters += token[1:]
        else:
            scenario = token
    return Request(letters, scenario)


def with_extension(path):
    """The module's rule: ".scn" is added when the path has a separator and the name after the
    last one has no dot."""
    name = path.replace("/", "\\").rpartition("\\")
    return path + ".scn" if name[1] and "." not in name[2] else path


@dataclass
class Watched:
    """What a run saw; the verdict is drawn from it alone."""
    module_line: str = ""  # Orbiter.log's line for Skarvel.dll
    failed_line: str = ""  # Orbiter.log's line about failing to load it
    stopped: bool = False  # still running at the time limit
    status: int = 0
    seconds: int = 60
    usage_seen: bool = False
    names_staging: bool = False  # the command line names the staging file itself
    first_written: bool = False  # the staging file was written during the run
    saved_later: bool = False  # ... and written again with other bytes
    staged: str = ""  # the scenario whose bytes were staged, as shown
    paused: bool = False
    empty_line: bool = False
    staging: str = "Scenarios\\(Current state).scn"


def conclude(w):
    """(SCENARIO, SESSION, VERDICT, DROVE): the report's lines, and whether the module was
    loaded and drove the launchpad, so that it may be installed for real."""
    if w.names_staging:
        scenario = f"not staged: the command line names {w.staging} itself"
    elif w.first_written:
        scenario = f"staged {w.staged or 'a scenario from outside Scenarios' + chr(92)} as {w.staging}"
    else:
        scenario = f"nothing staged: {w.staging} was not written"
    if w.saved_later or (w.names_staging and w.first_written):
        session = f"ended and saved its state over {w.staging}"
    elif w.stopped and (w.staged or w.names_staging):
        session = "none ended: Orbiter was still running when it was stopped"
    else:
        session = "none seen"
    paused = "paused" if w.paused else "running"
    if not w.module_line:
        if w.failed_line:
            why = "Orbiter failed loading " + w.failed_line.split("Failed loading module ", 1)[-1]
        elif w.stopped:
            why = f"Orbiter loaded no Skarvel.dll within {w.seconds} s"
        else:
            why = "Orbiter never loaded it (Orbiter.log has no line for it)"
        return scenario, session, "module not loaded: " + why, False
    if not w.stopped and w.status == 255:
        return scenario, session, "ended at start: this launchpad is not Orbiter 2006's", False
    if w.usage_seen:
        verdict = "usage dialog shown"
    elif w.names_staging:
        verdict = f'launched "{w.staging}" as it stood, {paused}'
    elif w.staged:
        verdict = f'launched "{w.staged}" {paused}'
    elif w.empty_line:
        verdict = "nothing launched: the command line names no scenario"
    else:
        verdict = "nothing launched: the scenario was not staged, and no usage dialog was seen"
    return scenario, session, verdict, True


FULL = 256 * 1024  # free bytes below which Orbiter's own writes may have failed


def could_not_try(log_written, orbiter_out, lowest_free, module_line):
    """(WHY, WHAT TO DO) when the run tells nothing about the module, else None: its file
    system filled up while Orbiter ran, Wine had no display for its windows, or Orbiter never
    started (it wrote no Orbiter.log, or Wine refused to start it)."""
    if lowest_free is not None and lowest_free < FULL:
        return (f"the run folders' file system filled up while Orbiter ran ({lowest_free // 1024}"
                " KiB free)", "Make room there, or name another place with --runs DIR.")
    if "nodrv_CreateWindow" in orbiter_out:  # Wine's note when it has no display driver
        return ("Wine could not reach the X display, so Orbiter could not show a window",
                "With --show, check DISPLAY; else run 'Xvfb -displayfd 1' by hand to see that it"
                " starts.")
    refusal = next((line for line in orbiter_out.splitlines() if line.startswith("wine: ")
                    and "nhandled" not in line), "")
    if not log_written or (refusal and not module_line):
        return ("Orbiter never started under Wine" + (f" ({refusal})" if refusal else ""),
                "Mend what Wine says, or try a Wine prefix of your own with WINEPREFIX.")
    return None
