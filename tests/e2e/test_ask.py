#!/usr/bin/env python3
"""End-to-end test of the message box in a real terminal.

"keycodes --ask" opens the box with the buttons "Igen", "Nem" and "ESC" in a
private tmux server (tmuxlib.py) and ends with the chosen button's number as
its exit code. Keys and SGR mouse clicks must choose the right button.

Usage: test_ask.py PATH-TO-KEYCODES
"""
import os
import shutil
import sys
import unittest

from tmuxlib import NO_MOUSE, TerminalTestCase, not_under_wine

KEYCODES = None  # set from the command line


class AskInTerminal(TerminalTestCase):
    def setUp(self):
        self.start_program(KEYCODES, "--ask")
        self.button_row, _ = self.wait_anywhere(r"Igen +▄ +Nem +▄ +ESC +▄")

    def button_column(self, label):
        """The 1-based column of a button's first letter."""
        return self.tmux.rows()[self.button_row].index(label) + 1

    def test_box_is_drawn_over_the_shaded_screen(self):
        self.wait_anywhere("Melyik gombot választja?")
        rows = self.tmux.rows()
        self.assertIn("Igen = 1, Nem = 2, ESC = 3", "\n".join(rows))
        self.assertTrue(rows[0].startswith(" Ask próba ░"), rows[0])
        self.assertEqual(rows[24], "░" * 80)
        top = next(y for y, r in enumerate(rows) if "╔[*]" in r)
        self.assertEqual(rows[self.button_row + 2].count("╚"), 1)
        self.assertEqual(self.button_row - top, 5)  # two lines of text
        self.assertIn("▀▀▀", rows[self.button_row + 1])

    def test_keys_choose_the_buttons(self):
        for keys, result in (("N", 2), ("n", 2), ("I", 1), ("Enter", 1), ("Escape", 3)):
            with self.subTest(keys=keys):
                if keys != "N":
                    self.start_program(KEYCODES, "--ask")
                    self.button_row, _ = self.wait_anywhere(r"Igen +▄ +Nem")
                self.tmux.keys(keys)
                self.assertEqual(self.wait_exit(), result)

    def test_other_keys_leave_the_box_open(self):
        self.tmux.keys("x", "F1", "Down")
        self.tmux.keys("Enter")
        self.assertEqual(self.wait_exit(), 1)

    @not_under_wine(NO_MOUSE)
    def test_click_on_a_button_chooses_it(self):
        for label, result in (("Nem", 2), ("ESC", 3), ("Igen", 1)):
            with self.subTest(label=label):
                if label != "Nem":
                    self.start_program(KEYCODES, "--ask")
                    self.button_row, _ = self.wait_anywhere(r"Igen +▄ +Nem")
                self.tmux.click(self.button_column(label) + 1, self.button_row + 1)
                self.assertEqual(self.wait_exit(), result)

    @not_under_wine(NO_MOUSE)
    def test_a_click_whose_press_and_release_arrive_together_chooses(self):
        column, row = self.button_column("Nem") + 1, self.button_row + 1
        self.tmux.literal(f"\x1b[<0;{column};{row}M\x1b[<0;{column};{row}m")
        self.assertEqual(self.wait_exit(), 2)

    @not_under_wine(NO_MOUSE)
    def test_click_beside_the_buttons_chooses_nothing(self):
        self.tmux.click(3, 3)
        self.tmux.click(self.button_column("Nem") - 2, self.button_row + 1)
        self.tmux.keys("n")
        self.assertEqual(self.wait_exit(), 2)

    @not_under_wine(NO_MOUSE)
    def test_press_dragged_off_a_button_chooses_nothing(self):
        column, row = self.button_column("Igen"), self.button_row + 1
        self.tmux.literal(f"\x1b[<0;{column};{row}M")
        self.tmux.literal(f"\x1b[<32;{column};{row + 4}M")  # moved with the button down
        self.tmux.literal(f"\x1b[<0;{column};{row + 4}m")
        self.tmux.keys("Escape")
        self.assertEqual(self.wait_exit(), 3)


def main():
    global KEYCODES
    if len(sys.argv) < 2:
        sys.exit("usage: test_ask.py PATH-TO-KEYCODES")
    KEYCODES = os.path.abspath(sys.argv.pop(1))
    if not shutil.which("tmux"):
        unittest.skip("tmux is not installed")(AskInTerminal)
    unittest.main(verbosity=2)


if __name__ == "__main__":
    main()
