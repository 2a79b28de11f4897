#!/usr/bin/env python3
"""End-to-end test of the keycodes program in a real terminal.

keycodes runs in a private tmux server (tmuxlib.py): keys are typed with
send-keys and the screen is read back with capture-pane, polling with a
bounded wait.

Usage: test_keycodes.py PATH-TO-KEYCODES
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

from tmuxlib import NO_MOUSE, WINE, TerminalTestCase, not_under_wine, run_program

KEYCODES = None  # set from the command line
KEY_ROW, MOUSE_ROW = 5, 6  # 0-based rows of the latest key and mouse lines
# Wine's terminal console knows Home and End only in their xterm forms.
WINE_UNKNOWN = ("\x1b[1~", "\x1b[4~", "\x1b[8~")


class KeycodesInTerminal(TerminalTestCase):
    def setUp(self):
        self.start_program(KEYCODES)
        self.wait_row(0, "Billentyűkódok")

    def test_frame_is_drawn_with_double_line_box_characters(self):
        rows = self.tmux.rows()
        top = rows[0]
        self.assertEqual(len(top), 80)
        self.assertTrue(top.startswith("╔═") and top.endswith("═╗"), top)
        self.assertEqual(top.replace(" Billentyűkódok ", "═" * 16), "╔" + "═" * 78 + "╗")
        self.assertEqual(rows[24], "╚" + "═" * 78 + "╝")
        for y in range(1, 24):
            self.assertTrue(rows[y].startswith("║") and rows[y].endswith("║"), (y, rows[y]))
            self.assertEqual(len(rows[y]), 80, (y, rows[y]))

    def test_special_keys_and_typed_unicode_give_their_codes(self):
        cases = [
            (["F1"], r"^║ Kód: BB  F1 "),
            (["M-Up"], r"^║ Kód: F8  Alt\+Up "),
            (["C-Left"], r"^║ Kód: F3  Ctrl\+Left "),
            (["BTab"], r"^║ Kód: 8F  .*Shift\+Tab "),
            (["M-q"], r"^║ Kód: 90  .*Alt\+Q "),
            (["F11"], r"^║ Kód: 00  - "),  # a key the suite has no code for
        ]
        for keys, pattern in cases:
            with self.subTest(keys=keys):
                self.tmux.keys(*keys)
                self.wait_row(KEY_ROW, pattern)
        self.tmux.literal("á")  # typed as UTF-8, delivered in code page 852
        self.wait_row(KEY_ROW, r"^║ Kód: A0  á")
        # Home and End in every form terminals send them, whatever TERM says.
        for sequence, pattern in [("\x1b[1~", r"^║ Kód: C7  .*Home "), ("\x1b[4~", r"^║ Kód: CF  .*End "),
                                  ("\x1bOH", r"^║ Kód: C7  .*Home "), ("\x1b[8~", r"^║ Kód: CF  .*End ")]:
            with self.subTest(sequence=repr(sequence)):
                if WINE and sequence in WINE_UNKNOWN:
                    self.skipTest("under Wine: its terminal console drops this form of Home and End")
                self.tmux.literal("x")
                self.wait_row(KEY_ROW, r"^║ Kód: 78 ")
                self.tmux.literal(sequence)
                self.wait_row(KEY_ROW, pattern)

    @not_under_wine(NO_MOUSE)
    def test_sgr_mouse_click_shows_buttons_and_position(self):
        self.tmux.literal("\x1b[<0;10;5M")
        self.wait_row(MOUSE_ROW, r"Egér: bal gomb, 10\. oszlop, 5\. sor")
        self.tmux.literal("\x1b[<0;10;5m")
        self.wait_row(MOUSE_ROW, r"Egér: nincs lenyomott gomb, 10\. oszlop, 5\. sor")
        self.tmux.literal("\x1b[<2;3;7M")  # right button elsewhere
        self.wait_row(MOUSE_ROW, r"Egér: jobb gomb, 3\. oszlop, 7\. sor")
        self.tmux.literal("\x1b[<2;3;7m")
        self.wait_row(MOUSE_ROW, r"Egér: nincs lenyomott gomb, 3\. oszlop, 7\. sor")
        self.tmux.literal("\x1b[<0;20;9M\x1b[<0;20;9m")  # a whole click read at once
        self.wait_row(MOUSE_ROW, r"Egér: nincs lenyomott gomb, 20\. oszlop, 9\. sor")

    def test_ctrl_c_and_sigint_do_not_end_the_program(self):
        self.tmux.keys("C-c")
        self.wait_row(KEY_ROW, r"Ctrl\+C: a program fut tovább\.")
        self.tmux.keys("F2")
        self.wait_row(KEY_ROW, r"Kód: BC  F2")
        os.kill(self.tmux.program_pid(), signal.SIGINT)
        self.wait_row(KEY_ROW, r"Ctrl\+C: a program fut tovább\.")
        self.tmux.keys("F3")
        self.wait_row(KEY_ROW, r"Kód: BD  .*F3")
        self.assertIsNone(self.exit_status())

    def test_esc_twice_in_a_row_ends_with_code_0(self):
        self.tmux.keys("Escape")
        self.wait_row(KEY_ROW, r"Kód: 1B  Esc")
        self.tmux.keys("F1")  # breaks the pair
        self.wait_row(KEY_ROW, r"Kód: BB  F1")
        self.tmux.keys("Escape")
        self.wait_row(KEY_ROW, r"Kód: 1B  Esc")
        self.assertIsNone(self.exit_status())
        self.tmux.keys("Escape")
        self.assertEqual(self.wait_exit(), 0)


class KeycodesLosingTheTerminal(TerminalTestCase):
    @not_under_wine("its terminal console outlives the terminal's hang-up and stays usable, and "
                    "when its host ends, Wine ends the program itself with exit code 0")
    def test_a_terminal_that_hangs_up_ends_the_program_non_zero_with_one_line(self):
        folder = tempfile.mkdtemp(prefix="tormex-keycodes-")
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        self.start_program(KEYCODES, folder=folder, errors=True, survive_hangup=True)
        self.wait_row(0, "Billentyűkódok")
        self.tmux.kill()
        self.assertNotIn(self.wait_exit(), (None, 0))
        with open(os.path.join(folder, "err"), encoding="utf-8") as f:
            reason = f.read()
        self.assertEqual(reason.count("\n"), 1, reason)
        self.assertTrue(reason.endswith("\n") and len(reason) > 10, reason)


class KeycodesWithoutTerminal(unittest.TestCase):
    def test_no_terminal_exits_1_with_one_line_reason(self):
        # A new session has no controlling terminal, so /dev/tty cannot be opened.
        result = run_program(KEYCODES, stdin=subprocess.DEVNULL, capture_output=True,
                             start_new_session=True)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stdout, b"")
        reason = result.stderr.decode("utf-8")
        self.assertTrue(reason.endswith("\n"), reason)
        self.assertEqual(reason.count("\n"), 1, reason)
        self.assertGreater(len(reason.strip()), 10, reason)


def main():
    global KEYCODES
    if len(sys.argv) < 2:
        sys.exit("usage: test_keycodes.py PATH-TO-KEYCODES")
    KEYCODES = os.path.abspath(sys.argv.pop(1))
    if not shutil.which("tmux"):
        unittest.skip("tmux is not installed")(KeycodesInTerminal)
    unittest.main(verbosity=2)


if __name__ == "__main__":
    main()
