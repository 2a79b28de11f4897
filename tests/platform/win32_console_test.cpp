// The Win32 console terminal's translations of console records, checked
// without a console window (the win32 build, under Wine).
#ifdef _WIN32
#include <gtest/gtest.h>

#include "platform/win32/console_records.h"

namespace platform::win32 {
namespace {

KEY_EVENT_RECORD KeyRecord(WORD scan, wchar_t ch, DWORD state = 0, bool down = true,
                           WORD virtualKey = 0, WORD repeats = 1) {
  KEY_EVENT_RECORD r{};
  r.bKeyDown = down;
  r.wRepeatCount = repeats;
  r.wVirtualKeyCode = virtualKey;
  r.wVirtualScanCode = scan;
  r.uChar.UnicodeChar = ch;
  r.dwControlKeyState = state;
  return r;
}

INPUT_RECORD Record(const KEY_EVENT_RECORD& key) {
  INPUT_RECORD r{};
  r.EventType = KEY_EVENT;
  r.Event.KeyEvent = key;
  return r;
}

MOUSE_EVENT_RECORD MouseRecord(SHORT x, SHORT y, DWORD buttons, DWORD flags = 0,
                               DWORD state = 0) {
  MOUSE_EVENT_RECORD r{};
  r.dwMousePosition = {x, y};
  r.dwButtonState = buttons;
  r.dwEventFlags = flags;
  r.dwControlKeyState = state;
  return r;
}

CONSOLE_SCREEN_BUFFER_INFO BufferInfo(SHORT width, SHORT height, SMALL_RECT window) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  info.dwSize = {width, height};
  info.srWindow = window;
  return info;
}

TEST(Win32Console, ScreenIsTheBufferOrTheVisibleRowsOfATallerOne) {
  Geometry whole = GeometryOf(BufferInfo(80, 25, {0, 0, 79, 24}));
  EXPECT_EQ(whole.Width, 80);
  EXPECT_EQ(whole.Height, 25);
  EXPECT_EQ(whole.Top, 0);

  // A scroll-back buffer scrolled to its end: the screen is what is shown.
  Geometry tall = GeometryOf(BufferInfo(120, 9001, {0, 8971, 119, 9000}));
  EXPECT_EQ(tall.Width, 120);
  EXPECT_EQ(tall.Height, 30);
  EXPECT_EQ(tall.Top, 8971);
}

TEST(Win32Console, CellsGoOutThroughTheFixedUnicodeTable) {
  struct Case {
    std::uint8_t Ch;
    wchar_t Shown;
  } cases[] = {
      {'A', L'A'},   {0xA0, L'\u00E1'}, {0x8B, L'\u0151'}, {0xEB, L'\u0170'},
      {0xC9, L'\u2554'}, {0x01, L'\u263A'}, {0x00, L' '},
  };
  for (const Case& c : cases) {
    CHAR_INFO info = ToCharInfo({c.Ch, 0x1F});
    EXPECT_EQ(info.Char.UnicodeChar, c.Shown) << "byte " << int{c.Ch};
    EXPECT_EQ(info.Attributes, 0x1F);
  }
  EXPECT_EQ(ToCharInfo({'x', 0x9E}).Attributes, 0x9E);  // blink bit kept
}

TEST(Win32Console, KeysCarryScanCodeCharacterAndShiftState) {
  KeyEvent key;
  ASSERT_TRUE(ToKeyEvent(KeyRecord(0x1E, L'a'), key));
  EXPECT_EQ(key.Scan, 0x1E);
  EXPECT_EQ(key.Ch, 'a');
  EXPECT_EQ(key.Shift, 0u);

  ASSERT_TRUE(ToKeyEvent(KeyRecord(0x28, L'\u00E1'), key));  // á
  EXPECT_EQ(key.Ch, 0xA0);

  ASSERT_TRUE(ToKeyEvent(KeyRecord(0x3B, 0), key));  // F1: a special key
  EXPECT_EQ(key.Scan, 0x3B);
  EXPECT_EQ(key.Ch, 0);

  // Esc is the character 27 even where the console gives it none.
  ASSERT_TRUE(ToKeyEvent(KeyRecord(0x01, 0, 0, true, VK_ESCAPE), key));
  EXPECT_EQ(key.Ch, 27);

  // Only the Alt, Ctrl and Shift bits: not NumLock (0x20) nor "enhanced" (0x100).
  ASSERT_TRUE(ToKeyEvent(KeyRecord(0x4B, 0, LEFT_CTRL_PRESSED | NUMLOCK_ON | ENHANCED_KEY), key));
  EXPECT_EQ(key.Shift, std::uint32_t{kLeftCtrl});
  ASSERT_TRUE(ToKeyEvent(KeyRecord(0x0F, L'\t', SHIFT_PRESSED), key));
  EXPECT_EQ(key.Shift, std::uint32_t{kShift});
}

TEST(Win32Console, KeyReleasesAndCharactersOutsideTheCodePageGiveNothing) {
  KeyEvent key;
  EXPECT_FALSE(ToKeyEvent(KeyRecord(0x1E, L'a', 0, false), key));
  // AltGr+U on a Hungarian keyboard types the euro sign.
  EXPECT_FALSE(ToKeyEvent(KeyRecord(0x16, L'\u20AC', RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED), key));
}

TEST(Win32Console, AltCombinationsAreSpecialKeysButAltGrKeepsItsCharacter) {
  KeyEvent key;
  ASSERT_TRUE(ToKeyEvent(KeyRecord(0x10, L'q', LEFT_ALT_PRESSED), key));
  EXPECT_EQ(key.Scan, 0x10);
  EXPECT_EQ(key.Ch, 0);
  EXPECT_EQ(key.Shift, std::uint32_t{kLeftAlt});

  ASSERT_TRUE(ToKeyEvent(KeyRecord(0x2F, L'@', RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED), key));
  EXPECT_EQ(key.Ch, '@');
}

TEST(Win32Console, AltPlusKeypadNumberTypesOneCharacter) {
  KeyEvent key;
  // The keypad digits (8 lies where Up is) are not keys of their own...
  EXPECT_FALSE(ToKeyEvent(KeyRecord(0x48, 0, LEFT_ALT_PRESSED | NUMLOCK_ON, true, VK_NUMPAD8), key));
  // ...the character comes with the release of Alt.
  ASSERT_TRUE(ToKeyEvent(KeyRecord(0x38, L'\u0151', NUMLOCK_ON, false, VK_MENU), key));
  EXPECT_EQ(key.Ch, 0x8B);
  EXPECT_EQ(key.Scan, 0);
  // Alt+Up on the arrow keys stays a key.
  EXPECT_TRUE(ToKeyEvent(KeyRecord(0x48, 0, LEFT_ALT_PRESSED | ENHANCED_KEY, true, VK_UP), key));
}

TEST(Win32Console, InputRecordsBecomeEventsRepeatsExpanded) {
  std::deque<Event> events;
  AppendEvents(Record(KeyRecord(0x50, 0, 0, true, VK_DOWN, 3)), 0, events);
  ASSERT_EQ(events.size(), 3u);
  for (const Event& e : events) {
    EXPECT_EQ(e.Kind, EventKind::kKey);
    EXPECT_EQ(e.Key.Scan, 0x50);
  }

  events.clear();
  AppendEvents(Record(KeyRecord(0x50, 0, 0, false, VK_DOWN, 3)), 0, events);
  INPUT_RECORD focus{};
  focus.EventType = FOCUS_EVENT;
  AppendEvents(focus, 0, events);
  INPUT_RECORD menu{};
  menu.EventType = MENU_EVENT;
  AppendEvents(menu, 0, events);
  EXPECT_TRUE(events.empty());

  INPUT_RECORD resize{};
  resize.EventType = WINDOW_BUFFER_SIZE_EVENT;
  resize.Event.WindowBufferSizeEvent.dwSize = {80, 25};
  AppendEvents(resize, 0, events);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].Kind, EventKind::kResize);
}

TEST(Win32Console, MouseButtonsPositionAndMoves) {
  MouseEvent m;
  ASSERT_TRUE(ToMouseEvent(MouseRecord(10, 5, FROM_LEFT_1ST_BUTTON_PRESSED), 0, m));
  EXPECT_EQ(m.X, 10);
  EXPECT_EQ(m.Y, 5);
  EXPECT_EQ(m.Buttons, 1u);
  EXPECT_FALSE(m.Moved);

  ASSERT_TRUE(ToMouseEvent(MouseRecord(0, 0, RIGHTMOST_BUTTON_PRESSED), 0, m));
  EXPECT_EQ(m.Buttons, 2u);
  // The middle button is not one of the suite's.
  ASSERT_TRUE(ToMouseEvent(
      MouseRecord(0, 0, FROM_LEFT_1ST_BUTTON_PRESSED | RIGHTMOST_BUTTON_PRESSED |
                            FROM_LEFT_2ND_BUTTON_PRESSED),
      0, m));
  EXPECT_EQ(m.Buttons, 3u);

  ASSERT_TRUE(ToMouseEvent(MouseRecord(3, 4, 0, MOUSE_MOVED, SHIFT_PRESSED), 0, m));
  EXPECT_TRUE(m.Moved);
  EXPECT_EQ(m.Buttons, 0u);
  EXPECT_EQ(m.Shift, std::uint32_t{kShift});

  // Rows count from the screen's top buffer row.
  ASSERT_TRUE(ToMouseEvent(MouseRecord(7, 8980, FROM_LEFT_1ST_BUTTON_PRESSED), 8971, m));
  EXPECT_EQ(m.Y, 9);
}

TEST(Win32Console, WheelTurnsGiveNoEvent) {
  MouseEvent m;
  EXPECT_FALSE(ToMouseEvent(MouseRecord(1, 1, 0x00780000, MOUSE_WHEELED), 0, m));
  EXPECT_FALSE(ToMouseEvent(MouseRecord(1, 1, 0xFF880000, MOUSE_HWHEELED), 0, m));
}

TEST(Win32Console, ControlTypesMapToControlEvents) {
  struct Case {
    DWORD Type;
    ControlEvent Event;
  } cases[] = {
      {CTRL_C_EVENT, ControlEvent::kCtrlC},       {CTRL_BREAK_EVENT, ControlEvent::kBreak},
      {CTRL_CLOSE_EVENT, ControlEvent::kClose},   {CTRL_LOGOFF_EVENT, ControlEvent::kLogoff},
      {CTRL_SHUTDOWN_EVENT, ControlEvent::kShutdown},
  };
  for (const Case& c : cases) {
    ControlEvent e = ControlEvent::kCtrlC;
    ASSERT_TRUE(ToControlEvent(c.Type, e)) << c.Type;
    EXPECT_EQ(e, c.Event);
  }
  ControlEvent e;
  EXPECT_FALSE(ToControlEvent(99, e));
}

}  // namespace
}  // namespace platform::win32
#endif  // _WIN32
