"""The one writer of what the trial says: to the terminal and, once the run folder exists, to
its report.txt. A terminal that is closed or failing (a closed pipe, a closed descriptor, a full
disk) is no end of the run: from then on only the file gets the lines."""
import os


def guard_standard_descriptors():
    """Opens /dev/null on a closed standard descriptor, so that no file opened later takes its
    number and receives the terminal's lines, and what the trial starts finds all three."""
    for fd in (0, 1, 2):
        try:
            os.fstat(fd)
        except OSError:
            os.open(os.devnull, os.O_RDWR)


def _write(fd, data):
    while data:
        data = data[os.write(fd, data) :]


class Report:
    def __init__(self):
        self.kept = []  # the lines said before the run folder exists, to open its report
        self.file = self.file_error = None
        self.terminal = {1: True, 2: True}  # whether each standard descriptor still takes lines

    def say(self, *lines, fd=1):
        for line in lines:
            data = (line + "\n").encode("utf-8", "surrogateescape")
            if self.file is None:
                self.kept.append(data)
            else:
                fd = 1  # from the run folder on, errors go to standard output too
                try:
                    _write(self.file, data)
                except OSError as error:
                    self.file_error = self.file_error or error
            if self.terminal[fd]:
                try:
                    _write(fd, data)
                except OSError:
                    self.terminal[fd] = False

    def error(self, first, *more):
        self.say("error: " + first, *("       " + line for line in more), fd=2)

    def open(self, path):
        """Sends every line from now on to path too, beginning with those said so far."""
        self.file = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_APPEND, 0o644)
        _write(self.file, b"".join(self.kept))

    def close(self):
        if self.file is not None:
            os.close(self.file)
            self.file = None
