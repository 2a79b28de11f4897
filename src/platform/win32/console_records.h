// Translations between the Win32 console's records and the terminal's
// types. Pure functions: no console is needed, so they are tested under Wine
// without a console window.
#pragma once
#include <windows.h>

#include <deque>

#include "platform/terminal.h"

namespace platform::win32 {

// The part of the console screen buffer that is the terminal's screen.
//
// The screen is the buffer's full width. When the buffer is taller than its
// window (a console with scroll-back), the screen is the window's height and
// starts at the window's top row, so what is drawn is what the user sees;
// otherwise it is the whole buffer.
struct Geometry {
  int Width = 80, Height = 25;
  int Top = 0;  // buffer row of screen row 0
};
Geometry GeometryOf(const CONSOLE_SCREEN_BUFFER_INFO& info);

// A screen cell as the console's wide-character cell: the code page 852
// character through the fixed Unicode table (not the system's code page),
// the attribute byte as the console attribute.
CHAR_INFO ToCharInfo(const Cell& cell);

// A key record as the key event it stands for; false when the record gives
// no key (a key release, a character that code page 852 lacks). An Alt
// combination (Alt without Ctrl; AltGr arrives as right Alt plus left Ctrl
// and keeps its character) gives no character, so it reaches the reader as a
// special key, as on every platform. The character typed as Alt plus a
// number on the keypad arrives on the release of Alt and gives that character.
// Esc always carries its control character 27. The record's repeat count is
// not looked at here.
bool ToKeyEvent(const KEY_EVENT_RECORD& record, KeyEvent& key);

// A mouse record as the mouse event it stands for, its row counted from the
// screen's top buffer row; false for wheel turns, which the suite ignores.
bool ToMouseEvent(const MOUSE_EVENT_RECORD& record, int top, MouseEvent& mouse);

// Appends the events an input record stands for: a key held down gives its
// key event once per repeat; a screen-buffer size change gives a resize
// event; every other record (focus, menu, key release) gives nothing.
void AppendEvents(const INPUT_RECORD& record, int top, std::deque<Event>& out);

// A console control type (CTRL_C_EVENT...) as the terminal's control event;
// false for a type the terminal does not know.
bool ToControlEvent(DWORD type, ControlEvent& event);

}  // namespace platform::win32
