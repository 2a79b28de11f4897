#!/usr/bin/env python3
"""End-to-end tests of the partner register: the real partnerek in real
terminals (private tmux servers, tmuxlib.py), one or two stations on the
same files, each case in a fresh folder holding a sample of 50 partners
(partnerek --minta 50). After every case the files must pass dbcheck.

What the cases expect is read from PARTNER.dat itself (100-byte records,
code page 852), so they do not depend on the sample's contents.

tmux sends Home and End as ESC [1~ and ESC [4~, which the xterm-256color
terminal description does not know; the cases type the xterm sequences
(ESC O H, ESC O F) instead, as an xterm would send them.

Usage: test_partnerek.py PARTNEREK DBCHECK
"""
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from tmuxlib import WAIT_SECONDS, Tmux, not_under_wine, run_program, shell_line

PARTNEREK = DBCHECK = None  # set from the command line
REC_LEN = 100
PAGE_ROWS = 19
HOME, END = "\x1bOH", "\x1bOF"
ROW = re.compile(r"^║([0-9A-Z]{6}) (.{26}) (.{15}) (.{14}) (.{13})║$")


def partners(folder):
    """The partners in use in PARTNER.dat: code -> (name, city, tax, balance, date)."""
    with open(os.path.join(folder, "PARTNER.dat"), "rb") as f:
        data = f.read()
    found = {}
    for n in range(1, len(data) // REC_LEN):
        record = data[n * REC_LEN:(n + 1) * REC_LEN]
        if record[4] == 0:
            continue
        text = record.decode("cp852")
        found[text[5:11]] = tuple(text[a:b].rstrip() for a, b in ((11, 41), (41, 61), (61, 74),
                                                                  (74, 86), (86, 94)))
    return found


class Station:
    """partnerek (with args) running in folder in a tmux server of its own,
    under a file-size limit (512-byte blocks) when one is given; the
    terminal's settings after it are kept (stty -a)."""

    def __init__(self, test, folder, *args, file_limit=None):
        self.test = test
        work = tempfile.mkdtemp(prefix="tormex-partnerek-station-")
        test.addCleanup(shutil.rmtree, work, ignore_errors=True)
        self.tmux = Tmux(work)
        test.addCleanup(self.tmux.kill)
        self.status = os.path.join(work, "status")
        self.stty = os.path.join(work, "stty")
        env = {"HOME": work, "XDG_CONFIG_HOME": os.path.join(work, "config"),
               "TORMEX_MACHINE_REGISTRY": os.path.join(work, "machine")}
        limit = f"ulimit -f {file_limit} && " if file_limit else ""
        self.tmux.start(limit + shell_line([PARTNEREK, *args], env, folder) +
                        f"; echo $? > {shlex.quote(self.status)}; "
                        # whole or not at all: the test reads it once it is there
                        f"stty -a > {shlex.quote(self.stty)}.part && mv {shlex.quote(self.stty)}.part "
                        f"{shlex.quote(self.stty)}; "
                        "sleep 60")

    def keys(self, *keys):
        self.tmux.keys(*keys)

    def type(self, text):
        self.tmux.literal(text)

    def screen(self):
        return "\n".join(self.tmux.rows())

    def until(self, condition, what):
        """Polls until condition() gives a true value and returns it."""
        deadline = time.monotonic() + WAIT_SECONDS
        while True:
            result = condition()
            if result:
                return result
            if time.monotonic() > deadline:
                self.test.fail(f"{what} never happened; screen:\n{self.screen()}")
            time.sleep(0.05)

    def wait(self, pattern):
        return self.until(lambda: re.search(pattern, self.screen()), repr(pattern))

    def wait_gone(self, pattern):
        self.until(lambda: not re.search(pattern, self.screen()), f"{pattern!r} gone")

    def rows(self):
        """The list's data rows on screen: (code, name, city, balance, date)."""
        rows = []
        for line in self.tmux.rows():
            match = ROW.match(line)
            if match:
                rows.append(tuple(part.strip() for part in match.groups()))
        return rows

    def codes(self):
        return [row[0] for row in self.rows()]

    def wait_codes(self, condition, what):
        return self.until(lambda: (lambda c: c if condition(c) else None)(self.codes()), what)

    def wait_list(self):
        """Waits until the list shows a full page that no box or form covers."""
        self.wait("Rögzit +Javit +Ins-új +Töröl +Keres +Csop.jav +Esc-ki")
        return self.wait_codes(lambda c: len(c) == PAGE_ROWS, "the list's full page")

    def report_rows(self):
        """The rows that start a line of the engine's fatal report."""
        return [row for row in self.tmux.rows()
                if re.match(r"RECORD-access I/O error |File \S+ Record |Program aborted", row)]

    def wait_exit(self):
        def status():
            try:
                with open(self.status, encoding="ascii") as f:
                    text = f.read().strip()
                return text if text else None
            except FileNotFoundError:
                return None
        code = int(self.until(status, "the end of the program"))
        self.until(lambda: os.path.exists(self.stty), "stty -a")
        return code


class PartnerRegister(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="tormex-partnerek-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)
        sample = Station(self, self.folder, "--minta", "50")
        self.assertEqual(sample.wait_exit(), 0, sample.screen())
        sample.wait("50 minta partner: PARTNER1.idx 50 kulcs, PARTNER2.idx 50 kulcs")
        self.assertEqual(len(partners(self.folder)), 50)
        self.check_files()

    def check_files(self):
        rec_len = str(REC_LEN)
        for args in (["data", "PARTNER.dat", rec_len], ["index", "PARTNER1.idx", "6"],
                     ["index", "PARTNER2.idx", "30", "dups"],
                     ["table", "PARTNER", "PARTNER1", rec_len, "0", "6", "6"],
                     ["table", "PARTNER", "PARTNER2", rec_len, "1", "12", "30"]):
            run = run_program(DBCHECK, *args, cwd=self.folder, capture_output=True, text=True)
            self.assertEqual(run.returncode, 0, f"dbcheck {' '.join(args)}: {run.stdout}{run.stderr}")

    def station(self, *args):
        return Station(self, self.folder, *args)

    def browse(self):
        station = self.station()
        station.wait_list()
        return station

    def leave(self, station):
        station.keys("Escape")
        self.assertEqual(station.wait_exit(), 0, station.screen())

    def sorted_codes(self):
        return sorted(partners(self.folder))

    # ---- The list ----------------------------------------------------------------

    def test_list_shows_the_partners_in_code_order_and_scrolls(self):
        codes = self.sorted_codes()
        station = self.browse()
        station.wait("Kód +Név +Város +Egyenleg +Utolsó számla")
        self.assertEqual(station.codes(), codes[:PAGE_ROWS])
        name, city, _, balance, date = partners(self.folder)[codes[0]]
        self.assertEqual(station.rows()[0][1:], (name[:26].strip(), city[:15].strip(),
                                                 shown_balance(balance), shown_date(date)))
        station.keys("NPage")
        station.wait_codes(lambda c: c[:1] == [codes[PAGE_ROWS]], "the next page")
        station.keys(*["Down"] * PAGE_ROWS)  # from the page's first row past its last
        station.wait_codes(lambda c: c[:1] == [codes[PAGE_ROWS + 1]], "a scroll by one row")
        station.type(END)
        station.wait_codes(lambda c: c[-1:] == [codes[-1]] and len(c) == PAGE_ROWS, "the last page")
        station.type(HOME)
        station.wait_codes(lambda c: c == codes[:PAGE_ROWS], "the first page")
        self.leave(station)
        self.check_files()

    def test_filter_shows_only_matching_partners_and_an_empty_result_is_told(self):
        register = partners(self.folder)
        word = common_word([name for name, *_ in register.values()])
        wanted = sorted(code for code, (name, *_) in register.items() if word.upper() in name.upper())
        station = self.browse()
        station.keys("F7")
        station.wait("Szürö")
        station.keys("Down")
        station.type(word.lower())
        station.keys("F10")
        station.wait(r"Kód +Szürö")
        station.wait_codes(lambda c: c == wanted, f"only the partners named {word}")
        # A pattern nothing matches: told, and the filter goes off.
        station.keys("F7")
        station.wait("F10-tárolás")
        station.keys("Down")
        station.type("qqqq")
        station.keys("F10")
        station.wait("Nincs megfelelö tétel!...")
        station.keys("Enter")
        station.wait_list()
        station.wait_codes(lambda c: c == self.sorted_codes()[:PAGE_ROWS], "the whole list again")
        self.assertNotIn("Szürö", station.screen())
        self.leave(station)
        self.check_files()

    # ---- Edit, insert, delete --------------------------------------------------------

    def test_edits_are_shown_stored_and_kept_after_a_restart(self):
        codes = self.sorted_codes()
        station = self.browse()
        station.keys("Enter")  # the first row: its name
        station.wait("F10-tárolás +Esc-kilépés")
        station.keys("Down")
        station.type("Teszt Elek")
        station.keys("F10")
        station.wait(r"║" + codes[0] + r" Teszt Elek ")
        station.keys("Down", "J")  # the second row: its code, which moves it to the top
        station.wait("F10-tárolás +Esc-kilépés")
        station.type("000000")
        station.keys("F10")
        station.wait_codes(lambda c: c[:3] == ["000000", codes[0], codes[2]], "the new code first")
        # Esc leaves a form without storing.
        station.keys("Enter")
        station.wait("F10-tárolás +Esc-kilépés")
        station.type("ZZZZZZ")
        station.keys("Escape")
        station.wait_list()
        self.assertNotIn("ZZZZZZ", station.screen())
        self.leave(station)
        register = partners(self.folder)
        self.assertEqual(register[codes[0]][0], "Teszt Elek")
        self.assertIn("000000", register)
        self.assertNotIn(codes[1], register)
        self.check_files()
        again = self.browse()
        again.wait(r"║" + codes[0] + r" Teszt Elek ")
        self.assertEqual(again.codes()[:2], ["000000", codes[0]])
        self.leave(again)

    def test_insert_stores_a_new_partner_and_refuses_a_taken_code(self):
        codes = self.sorted_codes()
        station = self.browse()
        station.keys("IC")
        station.wait("F10-tárolás +Esc-kilépés")
        for value in ("00000A", "Új Partner Kft.", "Szeged", "12345678-1-42", "1234.5", "2024.03.15"):
            station.type(value)
            station.keys("Down")
        station.keys("F10")
        station.wait(r"║00000A Új Partner Kft\. +Szeged +1\.234,50 2024\.03\.15")
        # A code that is taken: told, the form stays open until Esc.
        station.keys("IC")
        station.wait("F10-tárolás +Esc-kilépés")
        station.type(codes[5])
        station.keys("F10")
        station.wait("Ilyen kulcs már van!")
        station.keys("Enter")
        station.wait("F10-tárolás +Esc-kilépés")
        station.keys("Escape")
        station.wait_list()
        self.leave(station)
        register = partners(self.folder)
        self.assertEqual(len(register), 51)
        name, city, tax, balance, date = register["00000A"]
        self.assertEqual((name, city, tax, float(balance), date),
                         ("Új Partner Kft.", "Szeged", "12345678-1-42", 1234.5, "20240315"))
        self.check_files()

    def test_delete_asks_and_removes_only_on_igen(self):
        codes = self.sorted_codes()
        station = self.browse()
        station.keys("DC")  # Del, answered N: nothing happens
        station.wait(r"Biztosan törölni akart\? I/N :")
        station.keys("N")
        station.wait_gone("Biztosan")
        station.wait_codes(lambda c: c[:1] == [codes[0]], "the first row kept")
        station.keys("T")
        station.wait(r"Biztosan törölni akart\? I/N :")
        station.keys("I")
        station.wait_codes(lambda c: c[:1] == [codes[1]], "the first row gone")
        self.leave(station)
        self.assertEqual(sorted(partners(self.folder)), codes[1:])
        self.check_files()

    # ---- The view --------------------------------------------------------------------

    def test_view_steps_to_both_ends_and_stays_there(self):
        codes = self.sorted_codes()
        station = self.station("--nezet")
        station.wait("Keresés: Kód")
        station.keys("Enter")  # an empty key: the first partner
        shown = lambda code: station.wait(r"║ Kód +" + code + " ")
        shown(codes[0])
        station.keys("Down")
        shown(codes[1])
        station.type(END)
        shown(codes[-1])
        station.keys("Down")
        station.wait("Nincs következö !")
        station.keys("Enter")
        station.wait_gone("Nincs következö")
        shown(codes[-1])
        station.type(HOME)
        shown(codes[0])
        station.keys("Up")
        station.wait("Nincs elözö")
        station.keys("Enter")
        station.wait_gone("Nincs elözö")
        shown(codes[0])
        station.keys("1")  # the numeric pad's End
        shown(codes[-1])
        station.keys("V")
        self.assertEqual(station.wait_exit(), 0, station.screen())
        self.check_files()

    # ---- Two stations ----------------------------------------------------------------

    def test_the_sample_runs_without_a_terminal_unless_a_station_has_the_files_open(self):
        def sample(count):  # as from a script or a scheduled task
            return run_program(PARTNEREK, "--minta", str(count), cwd=self.folder, text=True,
                               stdin=subprocess.DEVNULL, capture_output=True,
                               start_new_session=True)
        station = self.browse()
        refused = sample(10)
        self.assertNotEqual(refused.returncode, 0)
        self.assertEqual((refused.stdout, len(refused.stderr.splitlines())), ("", 1), refused.stderr)
        self.leave(station)
        self.assertEqual(len(partners(self.folder)), 50)
        done = sample(20)
        self.assertEqual((done.returncode, done.stderr), (0, ""))
        self.assertRegex(done.stdout, r"^20 minta partner: PARTNER1\.idx 20 kulcs, "
                                      r"PARTNER2\.idx 20 kulcs, \d+,\d\d mp\n$")
        self.assertEqual(len(partners(self.folder)), 20)
        self.check_files()

    @not_under_wine("it does not refuse a read of a byte that another process has locked, "
                    "which is how a station sees a record in edit elsewhere")
    def test_a_record_in_edit_is_busy_for_the_other_station(self):
        codes = self.sorted_codes()
        first, second = self.browse(), self.browse()
        first.keys("Enter")  # the edit holds the first record's lock
        first.wait("F10-tárolás +Esc-kilépés")
        second.keys("T")
        second.wait("Foglalt a rekord!")
        second.keys("Enter")
        second.wait_gone("Foglalt")
        second.wait_list()
        second.keys("J")
        second.wait(r"Foglalt a rekord! Vár <I/N> \? ")
        second.keys("N")
        second.wait_list()
        # Waiting for the lock: the form opens once the first station stores.
        second.keys("J")
        second.wait(r"Foglalt a rekord! Vár <I/N> \? ")
        second.keys("I")
        first.keys("Down")
        first.type("Elso Allomas")
        first.keys("F10")
        first.wait(r"║" + codes[0] + " Elso Allomas ")
        second.wait(r"Név +Elso Allomas")
        second.keys("Escape")
        second.wait_list()
        # The sample is refused while a station has the files open.
        refused = self.station("--minta", "10")
        self.assertNotEqual(refused.wait_exit(), 0)
        self.assertEqual(len(partners(self.folder)), 50)
        self.leave(first)
        self.leave(second)
        self.check_files()

    # ---- Damaged files and a full disk -----------------------------------------------

    REGISTER = ("PARTNER.dat", "PARTNER1.idx", "PARTNER2.idx")

    def register(self):
        def read(name):
            with open(os.path.join(self.folder, name), "rb") as f:
                return f.read()
        return {name: read(name) for name in self.REGISTER}

    def test_an_empty_data_file_is_reported_once_readably_and_the_terminal_comes_back(self):
        open(os.path.join(self.folder, "PARTNER.dat"), "wb").close()
        station = self.station()
        report = ["RECORD-access I/O error 100 ", "File PARTNER.dat Record 0", "Program aborted"]
        station.until(lambda: len(station.report_rows()) == 3, "the report, each line at the left")
        self.assertEqual([row.rstrip() for row in station.report_rows()], [r.rstrip() for r in report])
        station.keys("Enter")
        self.assertEqual(station.wait_exit(), 100)
        # Still there once the program's screen is gone: once, not twice.
        station.until(lambda: len(station.report_rows()) == 3, "the report after the end")
        with open(station.stty, encoding="ascii") as f:
            settings = f.read().split()
        self.assertIn("echo", settings)
        self.assertIn("icanon", settings)
        self.assertEqual(os.path.getsize(os.path.join(self.folder, "PARTNER.dat")), 0)

    @not_under_wine("a file-size limit (ulimit -f) is a POSIX process limit")
    def test_a_sample_that_fills_the_disk_leaves_the_old_register_as_it_was(self):
        before = self.register()
        sample = Station(self, self.folder, "--minta", "100000", file_limit=2000)  # 1 MB
        sample.wait("Program aborted")
        sample.keys("Enter")
        self.assertEqual(sample.wait_exit(), 101)  # a write error, not a signal
        self.assertEqual(self.register(), before)
        self.assertEqual([name for name in os.listdir(self.folder)
                          if name.startswith(("UJ_", "REGI_", "SOWK"))], [])
        self.check_files()

    def batch_sample(self, count, file_limit=None, **options):
        """partnerek --minta count without a terminal (as from a script),
        under a file-size limit (bytes) when one is given."""
        def limit():
            import resource
            resource.setrlimit(resource.RLIMIT_FSIZE, (file_limit, file_limit))
        return run_program(PARTNEREK, "--minta", str(count), cwd=self.folder, text=True,
                           stdin=subprocess.DEVNULL, start_new_session=True,
                           preexec_fn=limit if file_limit else None,
                           **({"capture_output": True} | options))

    @not_under_wine("a file-size limit is a POSIX process limit")
    def test_a_sample_without_a_terminal_that_fills_the_disk_ends_at_once(self):
        before = self.register()
        run = self.batch_sample(200000, file_limit=100 * 1024)  # ends long before the time bound
        self.assertEqual(run.returncode, 101, run.stdout + run.stderr)
        self.assertIn("Program aborted", run.stdout + run.stderr)
        self.assertEqual(self.register(), before)
        self.assertEqual([name for name in os.listdir(self.folder)
                          if name.startswith(("UJ_", "REGI_", "SOWK"))], [])

    def test_the_sample_takes_the_old_indexes_journals_away_with_them(self):
        # A change cut short leaves its pages in the journal beside the index;
        # whatever it holds belongs to the old index, never to the new one.
        journal = os.path.join(self.folder, "PARTNER1.idx.jrn")
        with open(journal, "wb") as f:
            f.write(b"IJR1" + bytes(60) + b"\x5a" * 1000)
        run = self.batch_sample(30)
        self.assertEqual((run.returncode, run.stderr), (0, ""))
        self.assertFalse(os.path.exists(journal) and os.path.getsize(journal) > 64,
                         "the old journal stayed beside the new index")
        self.assertEqual([name for name in os.listdir(self.folder) if name.startswith(("UJ_", "REGI_"))], [])
        self.check_files()

    def test_a_read_only_register_file_is_named_and_nothing_changes(self):
        for name in ("PARTNER.dat", "PARTNER1.idx"):
            path = os.path.join(self.folder, name)
            before = self.register()
            os.chmod(path, 0o444)
            try:
                run = self.batch_sample(20)
            finally:
                os.chmod(path, 0o644)
            self.assertEqual(run.returncode, 12, run.stderr)
            self.assertIn(name + " csak olvasható", run.stderr)
            self.assertNotIn("másik állomás", run.stderr)
            self.assertEqual(self.register(), before)
            self.assertEqual([n for n in os.listdir(self.folder) if n.startswith(("UJ_", "REGI_"))], [])

    @not_under_wine("/dev/full is a POSIX device")
    def test_a_result_line_that_cannot_be_written_ends_non_zero(self):
        with open("/dev/full", "w") as full:
            run = self.batch_sample(5, capture_output=False, stdout=full, stderr=subprocess.PIPE)
        self.assertEqual(run.returncode, 13, run.stderr)
        self.assertIn("nem írható ki", run.stderr)

    @not_under_wine("TERM describes a POSIX terminal; Wine's console draws by its own means")
    def test_a_terminal_that_cannot_address_the_screen_is_refused(self):
        work = tempfile.mkdtemp(prefix="tormex-partnerek-dumb-")
        self.addCleanup(shutil.rmtree, work, ignore_errors=True)
        tmux = Tmux(work)
        self.addCleanup(tmux.kill)
        status = os.path.join(work, "status")
        tmux.start(shell_line([PARTNEREK], {"TERM": "dumb", "HOME": work}, self.folder, errors=True) +
                   f"; echo $? > {shlex.quote(status)}; sleep 60")
        deadline = time.monotonic() + WAIT_SECONDS
        while not os.path.exists(status) and time.monotonic() < deadline:
            time.sleep(0.05)
        with open(status, encoding="ascii") as f:
            self.assertNotEqual(f.read().strip(), "0")
        with open(os.path.join(self.folder, "err"), encoding="utf-8") as f:
            self.assertIn("TERM=dumb", f.read())

    def test_list_and_view_keep_going_while_another_station_adds_and_deletes(self):
        # A register of several index pages, so that the changes split and
        # merge pages under the readers.
        sample = self.station("--minta", "300")
        self.assertEqual(sample.wait_exit(), 0, sample.screen())
        codes = self.sorted_codes()
        lister, viewer, writer = self.browse(), self.station("--nezet"), self.browse()
        viewer.wait("Keresés: Kód")
        viewer.keys("Enter")
        viewer.wait(r"║ Kód +" + codes[0] + " ")
        new_codes = [fresh_code(codes[k], codes) for k in range(5, len(codes), len(codes) // 6)]
        shown_in_view = [codes[0]]
        for i, code in enumerate(new_codes):
            # The writer: a new partner next to an existing one, then the
            # partner after it deleted.
            writer.keys("IC")
            writer.wait("F10-tárolás +Esc-kilépés")
            writer.type(code)
            writer.keys("Down")
            writer.type("Uj Partner")
            writer.keys("F10")
            writer.wait(r"║" + code + " Uj Partner ")
            writer.keys("Down")
            writer.keys("T")
            writer.wait(r"Biztosan törölni akart\? I/N :")
            writer.keys("I")
            writer.wait_gone("Biztosan")
            # The readers meanwhile: the list pages on, the view steps on.
            lister.keys(("NPage", "NPage", "PPage", "End", "Home")[i % 5])
            self.assert_rows_rise(lister)
            for _ in range(3):
                viewer.keys("Down")
                shown = viewer.until(lambda: next_shown(viewer.screen(), shown_in_view[-1]),
                                     "the view's next partner")
                if shown == "end":
                    viewer.keys("Enter")
                    break
                self.assertGreater(shown, shown_in_view[-1], viewer.screen())
                shown_in_view.append(shown)
        lister.type(HOME)
        self.assert_rows_rise(lister)
        self.leave(lister)
        viewer.keys("V")
        self.assertEqual(viewer.wait_exit(), 0, viewer.screen())
        self.leave(writer)
        self.check_files()

    def assert_rows_rise(self, station):
        """Once the list stands still: a full page of codes, each shown once, in order."""
        previous = None
        deadline = time.monotonic() + WAIT_SECONDS
        while time.monotonic() < deadline:
            codes = station.codes()
            if codes == previous and len(codes) == PAGE_ROWS:
                break
            previous = codes
            time.sleep(0.2)
        self.assertEqual(len(previous), PAGE_ROWS, station.screen())
        self.assertEqual(previous, sorted(set(previous)), station.screen())


def next_shown(screen, last):
    """The code the view shows once it is no longer last; "end" at the end."""
    if "Nincs következö" in screen:
        return "end"
    match = re.search(r"║ Kód +([0-9A-Z]{6}) ", screen)
    return match.group(1) if match and match.group(1) != last else None


def fresh_code(near, taken):
    """A code not in taken that sorts right after near."""
    for last in "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ":
        code = near[:-1] + last
        if code > near and code not in taken:
            return code
    return near[:-2] + "ZZ"


def shown_balance(stored):
    """The list's balance: "1234567.50" as "1.234.567,50"."""
    value = float(stored) if stored.strip() else 0.0
    whole, cents = f"{abs(value):.2f}".split(".")
    grouped = f"{int(whole):,}".replace(",", ".")
    return ("-" if value < 0 and value != 0 else "") + grouped + "," + cents


def shown_date(stored):
    return f"{stored[:4]}.{stored[4:6]}.{stored[6:]}" if stored.strip() else ""


def common_word(names):
    """An ASCII word (3+ letters) that occurs in more than one name, and in
    no more names than a page holds."""
    counts = {}
    for name in names:
        for word in set(re.findall(r"[A-Za-z]{3,}", name)):
            counts[word] = counts.get(word, 0) + 1
    fitting = [w for w, n in counts.items() if 1 < n <= PAGE_ROWS]
    return max(sorted(fitting), key=lambda w: counts[w])


def main():
    global PARTNEREK, DBCHECK
    if len(sys.argv) < 3:
        sys.exit("usage: test_partnerek.py PARTNEREK DBCHECK")
    PARTNEREK, DBCHECK = (os.path.abspath(sys.argv.pop(1)) for _ in range(2))
    if not shutil.which("tmux"):
        unittest.skip("tmux is not installed")(PartnerRegister)
    unittest.main(verbosity=2)


if __name__ == "__main__":
    main()
