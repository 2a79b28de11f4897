#!/usr/bin/env python3
"""End-to-end tests of the index rebuild tool: the real reindex on data
files that the test writes itself (a header record, then records of RH
bytes whose byte 4 tells in use), checked afterwards with the real dbcheck.

The usage line needs no terminal; everything else runs in a private tmux
server (tmuxlib.py) with the tool's standard output and error sent to files
of the case's folder.

Usage: test_reindex.py REINDEX DBCHECK
"""
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

from tmuxlib import TerminalTestCase, run_program

REINDEX = DBCHECK = None  # set from the command line
RH = 40
USAGE = "Datafile Indexfile Rh D Kp Kh [Kp Kh]..."


def live(key):
    """A record in use: '.' everywhere, byte 4 set, the key from byte 6."""
    record = bytearray(b"." * RH)
    record[4] = 1
    record[5:5 + len(key)] = key.encode("ascii")
    return bytes(record)


def free():
    """A free record whose link (bytes 0..3) is garbage."""
    return b"xxxx\0" + b"x" * (RH - 5)


def stale_header():
    """Wrong chain, counters and length, both markers set."""
    return struct.pack("<iiii", 3, 99, 4, 2) + b"\1\1\1" + b"?" * (RH - 19)


def in_use(data, n):
    return data[n * RH + 4] != 0


class ReindexWithoutTerminal(unittest.TestCase):
    def test_one_argument_prints_the_usage_line(self):
        with tempfile.TemporaryDirectory() as folder:
            result = run_program(REINDEX, "T", cwd=folder, stdin=subprocess.DEVNULL,
                                 capture_output=True, text=True)
            self.assertEqual((result.returncode, result.stdout, result.stderr), (0, USAGE + "\n", ""))
            self.assertEqual(os.listdir(folder), [])


class ReindexInTerminal(TerminalTestCase):
    def setUp(self):
        self.case = tempfile.mkdtemp(prefix="tormex-reindex-")
        self.addCleanup(shutil.rmtree, self.case, ignore_errors=True)

    def path(self, name):
        return os.path.join(self.case, name)

    def write_data(self, records):
        data = stale_header() + b"".join(records)
        with open(self.path("T.dat"), "wb") as f:
            f.write(data)
        return data

    def read(self, name, mode="rb"):
        with open(self.path(name), mode) as f:
            return f.read()

    def start(self, *args):
        """Starts reindex in the case's folder, its output to out and err."""
        self.start_program(REINDEX, *args, folder=self.case, output=True,
                           env={"HOME": self.case, "XDG_CONFIG_HOME": self.case,
                                "TMPDIR": self.case})

    def run_to_end(self, *args):
        """Runs reindex with no key to give; its exit code, output and error."""
        self.start(*args)
        code = self.wait_exit()
        return code, self.read("out", "r"), self.read("err", "r")

    def dbcheck(self, *args):
        result = run_program(DBCHECK, *args, cwd=self.case, capture_output=True, text=True)
        self.assertEqual(result.returncode, 0, result.stdout)
        return result.stdout

    def test_bad_parameters_and_a_missing_data_file_give_one_line_and_change_nothing(self):
        data = self.write_data([live("ALFA"), free(), live("BETA")])
        cases = (
            (["T", "I", "10001", "0", "6", "8"], 1, "10001"),
            (["T", "I", "40", "2", "6", "8"], 1, "D"),
            (["T", "I", "40", "0"] + ["1", "1"] * 6, 1, "6"),
            (["T", "I", "40", "0", "38", "4"], 1, "38 4"),
            (["T", "I", "41", "0", "6", "8"], 1, "41"),
            (["NINCS", "I", "40", "0", "6", "8"], 2, "NINCS.dat"),
        )
        for args, expected, named in cases:
            with self.subTest(args=" ".join(args)):
                code, out, err = self.run_to_end(*args)
                self.assertEqual(code, expected, err)
                self.assertEqual(out, "")
                self.assertEqual(len(err.splitlines()), 1, err)
                self.assertTrue(err.endswith("\n"), err)
                self.assertIn(named, err)
                self.assertEqual(self.read("T.dat"), data)
                self.assertEqual(sorted(os.listdir(self.case)), ["T.dat", "err", "out"])
        # A header that makes sense counts 4 records of 40 bytes: 20 would
        # cut them wrongly, and is refused before anything is written.
        sane = struct.pack("<iiii", -1, 0, 0, 4) + bytes(RH - 16) + live("ALFA") + live("BETA") + live("GAMMA")
        with open(self.path("T.dat"), "wb") as f:
            f.write(sane)
        code, out, err = self.run_to_end("T", "I", "20", "0", "6", "6")
        self.assertEqual((code, out), (1, ""), err)
        self.assertIn("rekordhossz 40", err)
        self.assertEqual(self.read("T.dat"), sane)
        self.assertEqual(sorted(os.listdir(self.case)), ["T.dat", "err", "out"])

    def test_rebuild_of_a_generated_file_passes_both_checks(self):
        rng = random.Random(7)
        keys = [f"K{i:05d}" for i in range(600)]
        rng.shuffle(keys)
        records = [free() if i % 5 == 2 else live(key) for i, key in enumerate(keys)]
        live_count = sum(1 for r in records if r[4])
        self.write_data(records)
        code, out, err = self.run_to_end("T", "I", "40", "0", "6", "6")
        self.assertEqual(code, 0, err)
        self.assertEqual(out, f"{live_count} rekord beolvasva, {live_count} kulcs indexelve, 0 kimaradt\n")
        self.assertIn(f"{live_count} in use, {600 - live_count} free", self.dbcheck("data", "T.dat", "40"))
        self.assertIn(f"sound, {live_count} keys", self.dbcheck("index", "I.idx", "6"))
        data = self.read("T.dat")
        chain, n = [], struct.unpack_from("<i", data, 0)[0]
        while n != -1 and len(chain) <= 600:
            chain.append(n)
            n = struct.unpack_from("<i", data, n * RH)[0]
        self.assertEqual(chain, sorted((n for n in range(1, 601) if not in_use(data, n)), reverse=True))
        self.assertFalse(os.path.exists(self.path("I_hiba.txt")))

    def test_equal_keys_are_asked_about_and_freed_on_yes(self):
        self.write_data([live("SAME"), live("ALFA"), live("SAME"), free(), live("SAME")])
        self.start("T", "I", "40", "0", "6", "4")
        self.wait_anywhere("Kimaradt rekordok száma: +2")
        self.wait_anywhere(r"Töröljem\?  I/N")
        self.wait_anywhere("T beolvasott +: +4")  # the tool's own window behind the box
        self.tmux.keys("I")
        self.assertEqual(self.wait_exit(), 0, self.read("err", "r"))
        self.assertEqual(self.read("out", "r"), "4 rekord beolvasva, 2 kulcs indexelve, 2 kimaradt\n")
        self.assertEqual(self.read("I_hiba.txt"),
                         b"T\r\n0000000003  kulcs:SAME\r\n0000000001  kulcs:SAME\r\n")
        data = self.read("T.dat")
        self.assertEqual([in_use(data, n) for n in range(1, 6)], [False, True, False, False, True])
        self.assertIn("2 in use, 3 free", self.dbcheck("data", "T.dat", "40"))
        self.assertIn("sound, 2 keys", self.dbcheck("index", "I.idx", "4"))


def main():
    global REINDEX, DBCHECK
    if len(sys.argv) < 3:
        sys.exit("usage: test_reindex.py REINDEX DBCHECK")
    DBCHECK = os.path.abspath(sys.argv.pop(2))
    REINDEX = os.path.abspath(sys.argv.pop(1))
    if not shutil.which("tmux"):
        unittest.skip("tmux is not installed")(ReindexInTerminal)
    unittest.main(verbosity=2)


if __name__ == "__main__":
    main()
