#!/usr/bin/env python3
"""End-to-end tests of stations of both builds working on one folder at
once: Windows stations under Wine and POSIX stations as they are. Whatever
one build holds must be held for the other, though the two share nothing
but the file system's byte-range locks: a record in edit is busy, an open
data file keeps the rebuild, the sample register and erasing away, an index
change cut short by a killed station of one build is rolled back by a
station of the other, and two stations of each build stressing one file
lose and duplicate nothing. The busy record and the refused erase are also
checked between two Windows stations under two Wine servers (two
prefixes), which know nothing of each other's handles either.

The stations are the engine's test station (tests/db/helpers/station.cpp),
driven line by line through pipes, every answer awaited for a bounded
time. The rebuild tool needs a terminal and runs in tmux (tmuxlib.py); the
sample register runs without one. The files are checked with the POSIX
build's dbcheck.

Usage: test_mixed.py DB_STATION.exe REINDEX.exe PARTNEREK.exe NATIVE_BUILD
(NATIVE_BUILD: the POSIX build's folder, whose programs of the same names
are taken)."""
import fcntl
import os
import queue
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

from tmuxlib import WINE_LOADER, TerminalTestCase

PROGRAMS = {}  # (build, program name) -> path, from the command line
BUILDS = ("native", "windows")
DIRECTIONS = (("native", "windows"), ("windows", "native"))  # (holds, asks)
ANSWER_SECONDS = 30.0  # a station's answer; a Windows station's start costs a second or more
RUN_SECONDS = 60.0     # a whole run of a tool
BUSY_BOX = "Egy kis türelmet kérek|a rekord foglalt !|File: T.DAT|Rec.no: 2"
SHARING_VIOLATION = 32  # the platform's result of an erase that another handle refuses
ROLLED_BACK = "Megszakadt indexmódosítás visszaállítva. Leállt állomás: ".encode("cp852")


def other(build):
    return BUILDS[1 - BUILDS.index(build)]


def windows_path(path):
    """A POSIX path as a Windows program under Wine names it (drive Z:)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def command(build, program, *args):
    """The command line that runs a program of a build."""
    if build == "windows":
        return [WINE_LOADER, PROGRAMS[build, program], *args]
    return [PROGRAMS[build, program], *args]


def text(output):
    """A tool's output as text: the tools write what they say in the
    terminal's encoding (UTF-8 here), the Windows ones with CR LF."""
    return output.decode("utf-8", errors="replace").replace("\r\n", "\n")


def dbcheck(folder, *args):
    """The POSIX build's dbcheck in folder: its exit code and output."""
    run = subprocess.run(command("native", "dbcheck", *args), cwd=folder, capture_output=True,
                         timeout=RUN_SECONDS)
    return run.returncode, text(run.stdout + run.stderr)


class Station:
    """One db_station process of a build working in folder, its output read
    line by line by a thread of its own (code page 852 decoded)."""

    def __init__(self, test, build, folder, name, prefix=None):
        self.test, self.build, self.name = test, build, name
        env = dict(os.environ)
        if prefix:
            env["WINEPREFIX"] = prefix
        where = windows_path(folder) if build == "windows" else folder
        self.process = subprocess.Popen(command(build, "db_station", where, name), env=env,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, start_new_session=True)
        self.lines, self.transcript = queue.Queue(), []
        self.line_time = 0.0  # when the line last taken arrived (time.monotonic)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        test.addCleanup(self.end)
        self.wait_for("ok ready")

    def _read(self):
        for raw in iter(self.process.stdout.readline, b""):
            line = raw.rstrip(b"\r\n").decode("cp852")
            self.transcript.append(line)
            self.lines.put((line, time.monotonic()))
        self.lines.put((None, time.monotonic()))  # the end of the output
        self.process.stdout.close()

    def describe(self):
        return f"station {self.name} ({self.build}) said:\n" + "\n".join(self.transcript)

    def next_line(self, deadline):
        """The next line of output; None at its end or at the deadline."""
        try:
            line, self.line_time = self.lines.get(timeout=max(0.0, deadline - time.monotonic()))
        except queue.Empty:
            return None
        if line is None:
            self.lines.put((None, self.line_time))
        return line

    def wait_for(self, text, seconds=ANSWER_SECONDS):
        """Reads lines until one contains text and returns it; fails the
        test when none comes in time."""
        deadline = time.monotonic() + seconds
        while (line := self.next_line(deadline)) is not None:
            if text in line:
                return line
        self.test.fail(f"no line with {text!r} within {seconds} s; {self.describe()}")

    def send(self, line):
        try:
            self.process.stdin.write(line.encode("cp852") + b"\n")
            self.process.stdin.flush()
        except OSError as error:
            self.test.fail(f"{line!r} not taken ({error}); {self.describe()}")

    def answer(self, seconds=ANSWER_SECONDS):
        return self.wait_for("ok", seconds)

    def ask(self, line, seconds=ANSWER_SECONDS):
        """Sends a command and returns its answer (the next "ok ..." line)."""
        self.send(line)
        return self.answer(seconds)

    def silent(self, seconds):
        """True when no answer arrives within seconds."""
        deadline = time.monotonic() + seconds
        while (line := self.next_line(deadline)) is not None:
            if line.startswith("ok"):
                return False
        return True

    def kill(self):
        """Ends the station at once, as a crash would."""
        if self.process.poll() is None:
            os.kill(self.process.pid, signal.SIGKILL)
        self.process.wait(timeout=ANSWER_SECONDS)

    def end(self):
        """Asks a station still running to quit, then kills it (cleanup)."""
        if self.process.poll() is None:
            try:
                self.process.stdin.write(b"quit\n")
                self.process.stdin.flush()
                self.process.wait(timeout=10)
            except (OSError, subprocess.TimeoutExpired):
                self.kill()
        self.process.stdin.close()
        self.reader.join(timeout=5)


class MixedStations(TerminalTestCase):
    def folder(self):
        folder = tempfile.mkdtemp(prefix="tormex-mixed-")
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        return folder

    def start(self, build, folder, name, prefix=None):
        return Station(self, build, folder, name, prefix)

    def assert_sound(self, folder, *args):
        code, out = dbcheck(folder, *args)
        self.assertEqual(code, 0, f"dbcheck {' '.join(args)}: {out}")
        return out

    def run_without_terminal(self, build, folder, program, *args):
        """A tool run as from a script (standard input and output not a
        terminal): exit code, output and error."""
        run = subprocess.run(command(build, program, *args), cwd=folder, stdin=subprocess.DEVNULL,
                             capture_output=True, start_new_session=True, timeout=RUN_SECONDS)
        return run.returncode, text(run.stdout), text(run.stderr)

    def run_in_terminal(self, build, folder, program, *args):
        """A tool run in a terminal of its own (tmux) in folder, its output
        and error sent to files: exit code, output and error."""
        env = {"HOME": folder, "XDG_CONFIG_HOME": folder, "TMPDIR": folder}
        self.start_program(PROGRAMS[build, program], *args, env=env, folder=folder, output=True,
                           wine=build == "windows")
        code = self.wait_exit()
        self.tmux.kill()
        with open(os.path.join(folder, "out"), "rb") as out, open(os.path.join(folder, "err"), "rb") as err:
            return code, text(out.read()), text(err.read())

    # ---- A record, and a file open, held by one build -------------------------------

    def busy_record_and_erase(self, holder, asker):
        """holder() and asker() start a station each in one folder (of two
        builds, or under two Wine servers). A record the holder has read is
        busy for the asker, whose read waits with the busy box until the
        holder lets it go; a file the holder has open is not erased by the
        asker until the holder closes it."""
        folder = self.folder()
        a, b = holder(folder, "A"), asker(folder, "B")
        self.assertEqual(a.ask("create 0 T.DAT 40"), "ok 1 0", a.describe())
        for fill, n in (("a", 1), ("b", 2), ("c", 3)):
            self.assertEqual(a.ask(f"append 0 {fill}"), f"ok {n}")
        self.assertEqual(b.ask("open 0 T.DAT 40 0"), "ok 1 0", b.describe())
        self.assertEqual(a.ask("read 0 2"), "ok 1 b 98")
        self.assertEqual(b.ask("elsewhere 0 2"), "ok 1", b.describe())
        self.assertEqual(b.ask("elsewhere 0 1"), "ok 0")
        b.send("read 0 2")
        b.wait_for(BUSY_BOX)
        self.assertTrue(b.silent(0.5), b.describe())
        self.assertEqual(a.ask("unlock 0 2"), "ok")
        self.assertEqual(b.answer(), "ok 1 b 98", b.describe())
        shown = [line for line in b.transcript if line.startswith("screen ")]
        self.assertEqual(shown[-1], "screen |||||", b.describe())  # the box went away
        # Now the asker holds record 2, and the holder sees it so.
        self.assertEqual(a.ask("elsewhere 0 2"), "ok 1", a.describe())
        self.assertEqual(b.ask("close 0"), "ok")

        self.assertEqual(b.ask("erase T.DAT"), f"ok {SHARING_VIOLATION}", b.describe())
        self.assertTrue(os.path.exists(os.path.join(folder, "T.DAT")))
        self.assertEqual(a.ask("close 0"), "ok")
        self.assertEqual(b.ask("erase T.DAT"), "ok 0", b.describe())
        self.assertFalse(os.path.exists(os.path.join(folder, "T.DAT")))

    def test_a_record_or_file_held_by_one_build_is_busy_for_the_other(self):
        for holds, asks in DIRECTIONS:
            with self.subTest(holds=holds, asks=asks):
                self.busy_record_and_erase(lambda f, n: self.start(holds, f, n),
                                           lambda f, n: self.start(asks, f, n))

    def test_rebuild_and_sample_wait_until_the_other_builds_station_closed_the_file(self):
        for runs, holds in DIRECTIONS:
            with self.subTest(tools=runs, station=holds):
                folder = self.folder()
                code, out, err = self.run_without_terminal(runs, folder, "partnerek", "--minta", "5")
                self.assertEqual((code, err), (0, ""), out)
                station = self.start(holds, folder, "S")
                self.assertEqual(station.ask("create 0 T.dat 40"), "ok 1 0", station.describe())
                for fill in "xyz":
                    station.ask(f"append 0 {fill}")
                self.assertEqual(station.ask("open 1 PARTNER.dat 100 0"), "ok 1 0", station.describe())

                code, out, err = self.run_in_terminal(runs, folder, "reindex", "T", "I", "40", "0", "6", "1")
                self.assertEqual((code, out), (3, ""), err)
                self.assertIn("más állomás is használja", err)
                self.assertFalse(os.path.exists(os.path.join(folder, "I.idx")))
                code, out, err = self.run_without_terminal(runs, folder, "partnerek", "--minta", "10")
                self.assertEqual((code, out, len(err.splitlines())), (10, "", 1), err)
                self.assertEqual([name for name in os.listdir(folder) if name.startswith("UJ_")], [])
                self.assertEqual(os.path.getsize(os.path.join(folder, "PARTNER.dat")), 6 * 100)

                self.assertEqual(station.ask("close 0"), "ok")
                self.assertEqual(station.ask("close 1"), "ok")
                code, out, err = self.run_in_terminal(runs, folder, "reindex", "T", "I", "40", "0", "6", "1")
                self.assertEqual((code, out), (0, "3 rekord beolvasva, 3 kulcs indexelve, 0 kimaradt\n"), err)
                code, out, err = self.run_without_terminal(runs, folder, "partnerek", "--minta", "10")
                self.assertEqual((code, err), (0, ""), out)
                self.assertTrue(out.startswith("10 minta partner: "), out)
                self.assertIn("sound", self.assert_sound(folder, "data", "PARTNER.dat", "100"))
                self.assertIn("sound, 3 keys", self.assert_sound(folder, "index", "I.idx", "1"))

    # ---- Two Wine servers ----------------------------------------------------------

    def second_prefix(self):
        """A second Wine prefix beside the one of scripts/wine-env, created
        once, its Wine server started for this test and ended after it;
        skips the test, saying why, when it cannot be had."""
        first = os.environ.get("WINEPREFIX")
        if not first:
            self.skipTest("no Wine prefix named (WINEPREFIX): source scripts/wine-env first")
        prefix = first.rstrip("/") + "-second"
        env = dict(os.environ, WINEPREFIX=prefix)
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL, env=env)
        try:
            with open(prefix + ".lock", "w") as lock:
                fcntl.flock(lock, fcntl.LOCK_EX)
                if not os.path.exists(os.path.join(prefix, "system.reg")):
                    print(f"creating the second Wine prefix {prefix}", file=sys.stderr)
                    subprocess.run([WINE_LOADER, "wineboot", "-i"], timeout=120, **quiet)
                    subprocess.run(["wineserver", "-w"], timeout=120, **quiet)
        except (OSError, subprocess.TimeoutExpired) as error:
            reason = f"the second Wine prefix {prefix} could not be created: {error}"
            print(reason, file=sys.stderr)
            self.skipTest(reason)
        if not os.path.exists(os.path.join(prefix, "system.reg")):
            reason = f"the second Wine prefix {prefix} could not be created (wineboot -i made no system.reg)"
            print(reason, file=sys.stderr)
            self.skipTest(reason)
        # Its server and Wine's own background programs are started apart
        # from the stations, holding none of this test's descriptors.
        subprocess.run(["wineserver", "-p60"], timeout=60, **quiet)
        self.addCleanup(subprocess.run, ["wineserver", "-k"], timeout=60, **quiet)
        subprocess.run([WINE_LOADER, "cmd", "/c", "exit"], timeout=120, **quiet)
        return prefix

    def test_two_wine_servers_see_each_others_busy_record_and_open_file(self):
        second = self.second_prefix()
        first = os.environ["WINEPREFIX"]
        for holds, asks in ((first, second), (second, first)):
            with self.subTest(holds=os.path.basename(holds), asks=os.path.basename(asks)):
                self.busy_record_and_erase(lambda f, n: self.start("windows", f, n, holds),
                                           lambda f, n: self.start("windows", f, n, asks))

    # ---- Kills and stress ------------------------------------------------------------

    def test_kill_loop_across_builds_rolls_back_and_loses_no_finished_change(self):
        """Rounds alternate the builds. Each station opens the files (which
        rolls back a change the last, killed, station of the other build
        left cut short), finds them sound, completes and checks every
        change the side journal says was finished, churns and is stopped:
        killed at a random moment, or every other pair of rounds ended
        right after a random index page write (a change surely cut short)."""
        rounds, seed = 12, random.randrange(1 << 30)
        print(f"kill loop seed {seed}", file=sys.stderr)
        rng = random.Random(seed)
        folder = self.folder()
        setup = self.start("native", folder, "SETUP")
        self.assertEqual(setup.ask("create 0 KL.DAT 64"), "ok 1 0")
        self.assertEqual(setup.ask("index KL.IDX 20"), "ok 1 0")
        setup.end()
        kills = {build: 0 for build in BUILDS}
        cut_short, lost, live = [], 0, 0

        def journal_lines(text):
            try:
                with open(os.path.join(folder, "DBACCESS.ERR"), "rb") as f:
                    return [line for line in f.read().splitlines() if text in line]
            except FileNotFoundError:
                return []
        for number in range(rounds + 1):
            build = BUILDS[number % 2]
            station = self.start(build, folder, f"K{number}")
            self.assertEqual(station.ask("open 0 KL.DAT 64 0"), "ok 1 0", station.describe())
            self.assertEqual(station.ask("index KL.IDX 20"), "ok 1 0", station.describe())
            if cut_short and cut_short[-1] == f"K{number - 1}":  # rolled back by this station
                self.assertTrue([line for line in journal_lines(ROLLED_BACK + cut_short[-1].encode() + b" ")
                                 if line.endswith(f"Station:K{number}".encode())],
                                f"the change cut short at K{number - 1} ({other(build)}) was not rolled "
                                f"back by K{number} ({build})")
            self.assert_sound(folder, "data", "KL.DAT", "64")
            self.assert_sound(folder, "index", "KL.IDX", "20")
            recovered = station.ask("recover 0 KL.TXT", 120)
            found = re.fullmatch(r"ok recovered (\d+) (\d+)", recovered)
            self.assertTrue(found, station.describe())
            live, missing = int(found[1]), int(found[2])
            self.assertEqual(missing, 0, f"round {number}: {station.describe()}")
            lost += missing
            if number == rounds:
                break
            dies = number % 4 >= 2
            if dies:
                self.assertEqual(station.ask(f"dieafter {rng.randint(1, 400)}"), "ok")
            churn = f"churn 0 {rng.randrange(1 << 31)} R{number} KL.TXT"
            self.assertEqual(station.ask(churn), "ok churning", station.describe())
            if dies:
                station.process.wait(timeout=ANSWER_SECONDS)
                self.assertEqual(station.process.returncode, 9, station.describe())
                cut_short.append(f"K{number}")
            else:
                time.sleep(rng.uniform(0.1, 0.5) if build == "windows" else rng.uniform(0.005, 0.05))
                station.kill()
            kills[build] += 1
            station.end()
        rollbacks = len(journal_lines(ROLLED_BACK))
        rebuilds = len(journal_lines(b"reindex"))
        print(f"kill loop: {kills['native']} native and {kills['windows']} Windows stations stopped, "
              f"{rollbacks} rollbacks, {rebuilds} rebuilds demanded, {live} changes alive, "
              f"{lost} finished changes lost", file=sys.stderr)
        self.assertEqual(rebuilds, 0)
        self.assertGreaterEqual(rollbacks, len(cut_short))
        self.assertGreater(live, 0)

    def test_stress_of_two_stations_of_each_build_loses_nothing(self):
        """Two stations of each build append and free their own records at
        random in one file, with their keys in one index, for about half a
        minute; each keeps a journal. Afterwards the files are sound and
        hold exactly the records (and keys) the journals leave alive."""
        counts = {"native": 75000, "windows": 6000}  # all four at work for about 20 to 40 s
        folder = self.folder()
        setup = self.start("native", folder, "SETUP")
        self.assertEqual(setup.ask("create 0 S.DAT 64"), "ok 1 0")
        self.assertEqual(setup.ask("index S.IDX 20"), "ok 1 0")
        setup.end()
        stations = [self.start(build, folder, f"{build[0].upper()}{i}")
                    for build in BUILDS for i in range(2)]
        for station in stations:
            self.assertEqual(station.ask("open 0 S.DAT 64 0"), "ok 1 0", station.describe())
            self.assertEqual(station.ask("index S.IDX 20"), "ok 1 0", station.describe())
        began = time.monotonic()
        for seed, station in enumerate(stations):
            station.send(f"stress 0 {counts[station.build]} {17 + seed} J{station.name}.TXT")
        took = {}
        for station in stations:
            self.assertEqual(station.answer(150), "ok done", station.describe())
            took[station.name] = station.line_time - began
        seconds = time.monotonic() - began
        for station in stations:
            self.assertEqual(station.ask("closeindex"), "ok")
            self.assertEqual(station.ask("close 0"), "ok")
            station.end()

        alive, added = {}, {build: 0 for build in BUILDS}  # tag (used once) -> record
        for station in stations:
            with open(os.path.join(folder, f"J{station.name}.TXT"), encoding="ascii") as f:
                lines = [line.split() for line in f if line.strip()]
            self.assertEqual(len(lines), counts[station.build], station.name)
            for op, n, *tag in lines:
                self.assertNotEqual(op, "X", f"record {n} of {station.name} held another station's data")
                self.assertNotEqual(op, "K", f"the key of record {n} of {station.name} was refused or missing")
                if op == "A":
                    self.assertTrue(alive.setdefault(tag[0], int(n)) == int(n), f"{tag[0]} appended twice")
                    added[station.build] += 1
                else:
                    self.assertEqual(alive.pop(tag[0], None), int(n), f"{station.name} freed {n} ({tag[0]})")
        expected = {n: tag for tag, n in alive.items()}
        self.assertEqual(len(expected), len(alive), "a record is alive for two tags")
        with open(os.path.join(folder, "S.DAT"), "rb") as f:
            data = f.read()
        found = {at // 64: data[at + 5:at + 64].split(b" ")[0].decode("ascii")
                 for at in range(64, len(data) - 63, 64) if data[at + 4]}
        self.assertTrue(found == expected,
                        f"records in use that no journal leaves alive: {sorted(set(found.items()) - set(expected.items()))[:20]}; "
                        f"alive but not in the file: {sorted(set(expected.items()) - set(found.items()))[:20]}")
        self.assertIn(f"{len(alive)} in use", self.assert_sound(folder, "data", "S.DAT", "64"))
        self.assertIn(f"sound, {len(alive)} keys", self.assert_sound(folder, "index", "S.IDX", "20"))
        print(f"mixed stress: {seconds:.1f} s, {len(alive)} records alive of "
              f"{sum(added.values())} appended; per station: "
              + ", ".join(f"{s.name} ({s.build}) {counts[s.build]} operations in {took[s.name]:.1f} s"
                          for s in stations)
              + f"; appended by native {added['native']}, by Windows {added['windows']}",
              file=sys.stderr)


def main():
    if len(sys.argv) < 5:
        sys.exit("usage: test_mixed.py DB_STATION.exe REINDEX.exe PARTNEREK.exe NATIVE_BUILD")
    for name in ("db_station", "reindex", "partnerek"):
        PROGRAMS["windows", name] = os.path.abspath(sys.argv.pop(1))
    native = os.path.abspath(sys.argv.pop(1))
    for name, at in (("db_station", "tests/db/helpers"), ("reindex", "apps/reindex"),
                     ("partnerek", "apps/partnerek"), ("dbcheck", "apps/dbcheck")):
        PROGRAMS["native", name] = os.path.join(native, at, name)
        if not os.access(PROGRAMS["native", name], os.X_OK):
            sys.exit(f"the POSIX build's {name} is missing: build the native preset "
                     f"(TORMEX_NATIVE_BUILD names {native})")
    if not shutil.which("tmux"):  # the rebuild tool needs a terminal
        name = "test_rebuild_and_sample_wait_until_the_other_builds_station_closed_the_file"
        setattr(MixedStations, name, unittest.skip("tmux is not installed")(getattr(MixedStations, name)))
    unittest.main(verbosity=2)


if __name__ == "__main__":
    main()
