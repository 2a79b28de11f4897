"""Shared helpers of the end-to-end tests that run a program in a real
terminal: a private tmux server (80 x 25, TERM=xterm-256color so that SGR
mouse sequences are decoded), keys typed with send-keys, the screen read back
with capture-pane, and bounded polling for what should appear."""
import os
import re
import shlex
import subprocess
import tempfile
import time
import unittest

WAIT_SECONDS = 10.0
UTF8_ENV = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")


class Tmux:
    """A private tmux server (its socket in a folder of the test's own)
    running one program in an 80 x 25 window."""

    def __init__(self, folder):
        self.socket = os.path.join(folder, "tmux")

    def run(self, *args, check=True):
        return subprocess.run(["tmux", "-u", "-f", "/dev/null", "-S", self.socket, *args],
                              capture_output=True, text=True, encoding="utf-8",
                              env=UTF8_ENV, check=check, timeout=WAIT_SECONDS)

    def start(self, command):
        self.run("new-session", "-d", "-x", "80", "-y", "25", "sh", "-c", command)

    def keys(self, *keys):
        self.run("send-keys", *keys)

    def literal(self, text):
        self.run("send-keys", "-l", text)

    def click(self, column, row, button=0):
        """A press and a release at a 1-based cell, as SGR mouse reports."""
        self.literal(f"\x1b[<{button};{column};{row}M")
        self.literal(f"\x1b[<{button};{column};{row}m")

    def rows(self):
        return self.run("capture-pane", "-p").stdout.split("\n")

    def program_pid(self):
        """The pid of the program the pane's shell started."""
        shell = self.run("display-message", "-p", "#{pane_pid}").stdout.strip()
        with open(f"/proc/{shell}/task/{shell}/children", encoding="ascii") as f:
            return int(f.read().split()[0])

    def kill(self):
        self.run("kill-server", check=False)


class TerminalTestCase(unittest.TestCase):
    """A test case that runs one program per test in its own tmux server and
    records the program's exit status in a file."""

    def start_program(self, *argv):
        work = tempfile.TemporaryDirectory()
        self.addCleanup(work.cleanup)
        self.status_file = os.path.join(work.name, "status")
        self.tmux = Tmux(work.name)
        self.addCleanup(self.tmux.kill)  # also when the test fails below
        command = " ".join(shlex.quote(a) for a in argv)
        self.tmux.start(f"env TERM=xterm-256color {command}; "
                        f"echo $? > {shlex.quote(self.status_file)}; sleep 60")

    def wait_row(self, row, pattern):
        """Waits until the screen row matches the regular expression."""
        deadline = time.monotonic() + WAIT_SECONDS
        while True:
            rows = self.tmux.rows()
            if row < len(rows) and re.search(pattern, rows[row]):
                return rows
            if time.monotonic() > deadline:
                self.fail(f"row {row} never matched {pattern!r}; screen:\n" + "\n".join(rows))
            time.sleep(0.05)

    def wait_anywhere(self, pattern):
        """Waits until some screen row matches; returns (row, match), 0-based."""
        deadline = time.monotonic() + WAIT_SECONDS
        while True:
            rows = self.tmux.rows()
            for y, text in enumerate(rows):
                found = re.search(pattern, text)
                if found:
                    return y, found
            if time.monotonic() > deadline:
                self.fail(f"{pattern!r} never appeared; screen:\n" + "\n".join(rows))
            time.sleep(0.05)

    def exit_status(self):
        """The program's exit code once it has ended (None while it runs)."""
        try:
            with open(self.status_file, encoding="ascii") as f:
                text = f.read().strip()
            return int(text) if text else None
        except FileNotFoundError:
            return None

    def wait_exit(self):
        deadline = time.monotonic() + WAIT_SECONDS
        while self.exit_status() is None:
            if time.monotonic() > deadline:
                self.fail("the program did not end; screen:\n" + "\n".join(self.tmux.rows()))
            time.sleep(0.05)
        return self.exit_status()
