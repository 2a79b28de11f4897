#include "platform/win32/console_records.h"

#include "platform/codepage.h"

namespace platform::win32 {
namespace {

// The shift bits the terminal reports (right/left Alt, right/left Ctrl, Shift).
constexpr DWORD kShiftMask = 0x1F;

bool AltWithoutCtrl(DWORD state) { return (state & kAnyAlt) && !(state & kAnyCtrl); }

// A keypad digit pressed while Alt is held: part of typing a character by
// its number, not a key of its own.
bool IsAltNumpadDigit(const KEY_EVENT_RECORD& r) {
  return AltWithoutCtrl(r.dwControlKeyState) && r.wVirtualKeyCode >= VK_NUMPAD0 &&
         r.wVirtualKeyCode <= VK_NUMPAD9;
}

// The character typed as Alt plus keypad digits, delivered as Alt is released.
bool IsAltNumpadCharacter(const KEY_EVENT_RECORD& r) {
  return !r.bKeyDown && r.wVirtualKeyCode == VK_MENU && r.uChar.UnicodeChar != 0;
}

}  // namespace

Geometry GeometryOf(const CONSOLE_SCREEN_BUFFER_INFO& info) {
  Geometry g;
  g.Width = info.dwSize.X;
  int windowHeight = info.srWindow.Bottom - info.srWindow.Top + 1;
  if (info.dwSize.Y > windowHeight) {
    g.Height = windowHeight;
    g.Top = info.srWindow.Top;
  } else {
    g.Height = info.dwSize.Y;
  }
  return g;
}

CHAR_INFO ToCharInfo(const Cell& cell) {
  CHAR_INFO info{};
  info.Char.UnicodeChar = static_cast<WCHAR>(Cp852ToUnicode(cell.Ch));
  info.Attributes = cell.Attr;
  return info;
}

bool ToKeyEvent(const KEY_EVENT_RECORD& record, KeyEvent& key) {
  DWORD state = record.dwControlKeyState & kShiftMask;
  int ch = UnicodeToCp852(record.uChar.UnicodeChar);
  if (ch < 0) return false;
  if (IsAltNumpadCharacter(record)) {
    key = {0, static_cast<std::uint8_t>(ch), state & ~DWORD{kAnyAlt}};
    return true;
  }
  if (!record.bKeyDown || IsAltNumpadDigit(record)) return false;
  // Windows gives Esc its control character; Wine's console on a Unix
  // terminal gives none.
  if (ch == 0 && record.wVirtualKeyCode == VK_ESCAPE) ch = 27;
  if (AltWithoutCtrl(state)) ch = 0;
  key = {static_cast<std::uint8_t>(record.wVirtualScanCode), static_cast<std::uint8_t>(ch),
         state};
  return true;
}

bool ToMouseEvent(const MOUSE_EVENT_RECORD& record, int top, MouseEvent& mouse) {
  if (record.dwEventFlags & (MOUSE_WHEELED | MOUSE_HWHEELED)) return false;
  mouse.X = record.dwMousePosition.X;
  mouse.Y = record.dwMousePosition.Y - top;
  mouse.Buttons = 0;
  if (record.dwButtonState & FROM_LEFT_1ST_BUTTON_PRESSED) mouse.Buttons |= 1;
  if (record.dwButtonState & RIGHTMOST_BUTTON_PRESSED) mouse.Buttons |= 2;
  mouse.Moved = (record.dwEventFlags & MOUSE_MOVED) != 0;
  mouse.Shift = record.dwControlKeyState & kShiftMask;
  return true;
}

void AppendEvents(const INPUT_RECORD& record, int top, std::deque<Event>& out) {
  Event event;
  switch (record.EventType) {
    case KEY_EVENT: {
      const KEY_EVENT_RECORD& k = record.Event.KeyEvent;
      if (!ToKeyEvent(k, event.Key)) return;
      event.Kind = EventKind::kKey;
      int repeats = k.bKeyDown && k.wRepeatCount > 1 ? k.wRepeatCount : 1;
      out.insert(out.end(), static_cast<std::size_t>(repeats), event);
      return;
    }
    case MOUSE_EVENT:
      if (!ToMouseEvent(record.Event.MouseEvent, top, event.Mouse)) return;
      event.Kind = EventKind::kMouse;
      out.push_back(event);
      return;
    case WINDOW_BUFFER_SIZE_EVENT:
      event.Kind = EventKind::kResize;
      out.push_back(event);
      return;
    default:
      return;
  }
}

bool ToControlEvent(DWORD type, ControlEvent& event) {
  switch (type) {
    case CTRL_C_EVENT: event = ControlEvent::kCtrlC; return true;
    case CTRL_BREAK_EVENT: event = ControlEvent::kBreak; return true;
    case CTRL_CLOSE_EVENT: event = ControlEvent::kClose; return true;
    case CTRL_LOGOFF_EVENT: event = ControlEvent::kLogoff; return true;
    case CTRL_SHUTDOWN_EVENT: event = ControlEvent::kShutdown; return true;
    default: return false;
  }
}

}  // namespace platform::win32
