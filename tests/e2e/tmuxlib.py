"""Shared helpers of the end-to-end tests that run a program in a real
terminal: a private tmux server (80 x 25, TERM=xterm-256color so that SGR
mouse sequences are decoded), keys typed with send-keys, the screen read back
with capture-pane, and bounded polling for what should appear.

The same cases run the programs of both builds: a POSIX program as it is, a
Win32 program (a *.exe) under Wine, which in tmux (DISPLAY unset, the
private prefix of scripts/wine-env) runs it in Wine's terminal console. What
that console does not deliver is skipped under Wine (not_under_wine)."""
import os
import re
import shlex
import subprocess
import sys
import tempfile
import time
import unittest

# The build under test, told by the programs named on the test's command
# line: Win32 programs are *.exe files.
WINE = any(arg.lower().endswith(".exe") for arg in sys.argv[1:])
# Under Wine a program takes about a second to start, and its screen reaches
# the terminal later than a POSIX program's.
WAIT_SECONDS = 30.0 if WINE else 10.0
# The Wine loader of the build's width (scripts/wine-env).
WINE_LOADER = os.environ.get("TORMEX_WINE", "wine")
UTF8_ENV = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")


def command(program, *args):
    """The command line that runs a program of the build under test."""
    return ([WINE_LOADER] if WINE else []) + [program, *args]


def host_path(path):
    """A POSIX path as the program under test names it (Wine: drive Z:)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\") if WINE else path


def run_program(program, *args, **options):
    """Runs a program of the build under test to its end (subprocess.run)."""
    return subprocess.run(command(program, *args), timeout=WAIT_SECONDS, **options)


NO_MOUSE = "its terminal console passes no mouse"


def not_under_wine(reason):
    """Skips a test case, or a test class, under Wine, saying why: for what
    Wine's terminal console does not deliver."""
    return unittest.skipIf(WINE, f"under Wine: {reason}")


# Variables that only the POSIX build reads (its settings stores and
# temporary folder); a Win32 program keeps its settings in the prefix's
# registry, and Wine itself would follow HOME and TMPDIR.
POSIX_ONLY = ("HOME", "TMPDIR", "XDG_CONFIG_HOME", "TORMEX_MACHINE_REGISTRY")


def shell_line(argv, env=None, folder=None, output=False, errors=False, wine=WINE):
    """The shell command that starts a program as start_program describes
    (a Win32 program, under Wine, when wine is set)."""
    env = dict(env or {})
    redirect = [">out", "2>err"] if output else []
    if wine:
        words = wine_words(argv, env, redirect)
    else:
        words = ["env", "TERM=xterm-256color", *(f"{k}={v}" for k, v in env.items()), *argv]
    line = " ".join(shlex.quote(w) for w in words)
    if not wine and output:
        line += " " + " ".join(redirect)
    if errors:  # a console is drawn on standard output, so that stays the terminal
        line += " 2>err"
    return f"cd {shlex.quote(folder)} && {line}" if folder else line


def wine_words(argv, env, redirect):
    """The words that start a Win32 program under Wine with env (paths as
    Windows paths). Wine takes TEMP from its prefix, and its terminal
    console draws on the program's standard output, so the temporary folder
    (TMPDIR) and the redirections are set by Wine's cmd for the program."""
    settings = [f"{k}={host_path(v) if v.startswith('/') else v}"
                for k, v in env.items() if k not in POSIX_ONLY]
    words = ["env", "TERM=xterm-256color", *settings, WINE_LOADER]
    if "TMPDIR" not in env and not redirect:
        return words + list(argv)
    temp = host_path(env["TMPDIR"]) if "TMPDIR" in env else None
    inner = ["set", f"TEMP={temp}&&", "set", f"TMP={temp}&&"] if temp else []
    return words + ["cmd", "/c", *inner, host_path(argv[0]), *argv[1:], *redirect]


class Tmux:
    """A private tmux server (its socket in a folder of the test's own)
    running one program in an 80 x 25 window."""

    def __init__(self, folder):
        self.socket = os.path.join(folder, "tmux")

    def run(self, *args, check=True):
        return subprocess.run(["tmux", "-u", "-f", "/dev/null", "-S", self.socket, *args],
                              capture_output=True, text=True, encoding="utf-8",
                              env=UTF8_ENV, check=check, timeout=10)

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

    def start_program(self, *argv, env=None, folder=None, output=False, errors=False,
                      survive_hangup=False, wine=WINE):
        """Starts a program of the build under test with its arguments, the
        variables env added to its environment, in folder (when given),
        its standard output and error sent to the files out and err there
        (when output is set) or its standard error alone to err (errors).
        With survive_hangup the program and its shell ignore SIGHUP, so that
        the terminal can go away under them (tmux.kill) while they run on.
        A test of both builds at once names the program's own with wine."""
        work = tempfile.TemporaryDirectory()
        self.addCleanup(work.cleanup)
        self.status_file = os.path.join(work.name, "status")
        self.tmux = Tmux(work.name)
        self.addCleanup(self.tmux.kill)  # also when the test fails below
        self.tmux.start(("trap '' HUP; " if survive_hangup else "") +
                        shell_line(argv, env, folder, output, errors, wine) +
                        f"; echo $? > {shlex.quote(self.status_file)}; sleep 60")

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
