// The pure half of the ncursesw terminal: how curses key codes, typed
// characters and attribute bytes map to this library's terms. Kept free of
// curses itself so that the tables can be tested without a terminal.
#pragma once
#include <cstdint>
#include <string_view>

#include "platform/terminal.h"

namespace platform::posix {

// The key event of a curses key code, by the name keyname() gives it:
// "KEY_F(n)", "KEY_UP", "KEY_BTAB"... and the terminfo extended keys
// "kUP3", "kLFT5"... whose digit is xterm's modifier (1 + Shift 1, Alt 2,
// Ctrl 4). False when the key is not one the suite distinguishes.
bool KeyOfName(std::string_view name, KeyEvent& key);

// The key event of a typed character: control characters are Enter, Tab,
// Backspace, Esc or Ctrl+letter; others become code page 852 (scan code from
// the layout). False when the code page lacks the character.
bool KeyOfChar(char32_t wc, KeyEvent& key);

// The same key with Alt held (an ESC prefix before it).
KeyEvent WithAlt(KeyEvent key);

// How an attribute byte is shown with curses colours.
struct Look {
  short Fg = 7, Bg = 0;  // curses colour numbers (COLOR_BLACK..., +8 bright)
  short Pair = 0;        // the colour pair that holds fg on bg
  bool Bold = false;     // bright foreground on an 8-colour terminal
  bool Blink = false;    // blink bit on an 8-colour terminal
};

// The colour pairs a terminal needs: 1 + 8 x 8, or 1 + 16 x 16 when it has
// 16 colours (and pairs enough). Pair 0 is curses' own default.
int PairsNeeded(bool sixteen);
// The look of an attribute byte (background x 16 + foreground, bit 3 bright
// foreground, bit 7 blink). With 16 colours bright foreground and the blink
// bit (as bright background) are colours; with 8 they are bold and blink.
Look LookOfAttr(std::uint8_t attr, bool sixteen);

}  // namespace platform::posix
