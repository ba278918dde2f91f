"""What a run concludes about the module, from what was watched during the run and what the
module's own request code made of the command line (the request probe's facts)."""
from dataclasses import dataclass


def decoded(hex_bytes, code_page):
    """Bytes the request probe printed in hexadecimal, as text of Windows' ANSI code page."""
    data = bytes.fromhex(hex_bytes)
    try:
        return data.decode("cp" + code_page, "replace")
    except LookupError:
        return data.decode("latin-1")


@dataclass(frozen=True)
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
    staged: str = ""  # the scenario on the command line, as shown, when its bytes were staged
    named: str = ""  # the scenario on the command line, completed as the module does
    paused: bool = False
    empty_line: bool = False
    staging: str = "Scenarios\\(Current state).scn"


def conclude(w):
    """(SCENARIO, SESSION, VERDICT, DROVE): the report's lines, and whether the module was
    loaded and drove the launchpad, so that it may be installed for real."""
    if w.names_staging:
        scenario = f"not staged: the command line names {w.staging} itself"
    elif w.first_written:
        what = w.staged or f"other bytes than {w.named or 'the command line names'} holds"
        scenario = f"staged {what} as {w.staging}"
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
        return (
            f"the run folders' file system filled up while Orbiter ran ({lowest_free // 1024}"
            " KiB free)",
            "Make room there, or name another place with --runs DIR.",
        )
    if "nodrv_CreateWindow" in orbiter_out:  # Wine's note when it has no display driver
        return (
            "Wine could not reach the X display, so Orbiter could not show a window",
            "With --show, check DISPLAY; else run 'Xvfb -displayfd 1' by hand to see that it"
            " starts.",
        )
    wine_said = [line for line in orbiter_out.splitlines() if line.startswith("wine: ")]
    refusal = next((line for line in wine_said if "nhandled" not in line), "")
    if not log_written or (refusal and not module_line):
        return (
            "Orbiter never started under Wine" + (f" ({refusal})" if refusal else ""),
            "Mend what Wine says, or try a Wine prefix of your own with WINEPREFIX.",
        )
