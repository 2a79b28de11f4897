#include "toolkit_fixture.h"

using namespace ui;

namespace {
// Polls ReadEvent n times and returns the non-zero codes seen.
std::vector<int> Poll(int n) {
  std::vector<int> codes;
  for (int i = 0; i < n; ++i)
    if (std::uint8_t c = ReadEvent()) codes.push_back(c);
  return codes;
}
}  // namespace

TEST_F(ToolkitTest, PressRepeatReleaseOfLeftAndRight) {
  Mouse(10, 5, 1);
  EXPECT_EQ(ReadEvent(), code::kLeftPress);
  EXPECT_EQ(MouseX(), 10);
  EXPECT_EQ(MouseY(), 5);
  EXPECT_EQ(ReadEvent(), code::kLeftHeld);  // still held: repeats
  EXPECT_EQ(ReadEvent(), code::kLeftHeld);
  Mouse(10, 5, 0);
  EXPECT_EQ(ReadEvent(), code::kLeftRelease);
  EXPECT_EQ(ReadEvent(), 0);
  clock.Advance(100);
  Mouse(3, 3, 2);
  EXPECT_EQ(ReadEvent(), code::kRightPress);
  EXPECT_EQ(ReadEvent(), code::kRightHeld);
  Mouse(3, 3, 0);
  EXPECT_EQ(ReadEvent(), code::kRightRelease);
}

TEST_F(ToolkitTest, DoubleClickBoundaryIs24Hundredths) {
  for (int gap : {23, 24}) {
    clock.Advance(1000);
    Mouse(10, 5, 1);
    Mouse(10, 5, 0);
    EXPECT_EQ(Poll(2), std::vector<int>{code::kLeftPress});
    clock.Advance(gap);
    Mouse(10, 5, 1);
    std::vector<int> second = Poll(3);
    Mouse(10, 5, 0);
    std::vector<int> release = Poll(1);
    if (gap == 23) {
      EXPECT_EQ(release, std::vector<int>{code::kLeftDouble}) << gap;
    } else {
      EXPECT_EQ(second.front(), code::kLeftPress);
      EXPECT_EQ(release, std::vector<int>{code::kLeftRelease}) << gap;
    }
  }
}

TEST_F(ToolkitTest, RightDoubleClick) {
  Mouse(4, 4, 2);
  Mouse(4, 4, 0);
  Poll(2);
  clock.Advance(10);
  Mouse(4, 4, 2);
  Poll(2);
  Mouse(4, 4, 0);
  EXPECT_EQ(ReadEvent(), code::kRightDouble);
}

TEST_F(ToolkitTest, KeysTypeAheadPasteAndBreak) {
  TypeAhead("ab");
  term.PushChar('z');
  EXPECT_EQ(ReadEvent(), 'a');
  EXPECT_EQ(ReadEvent(), 'b');
  EXPECT_EQ(ReadEvent(), 'z');
  term.PushKey(0x2F, 0x16, platform::kLeftCtrl);  // Ctrl+V
  EXPECT_EQ(ReadEvent(), code::kPaste);
  term.RaiseControl(platform::ControlEvent::kCtrlC);
  EXPECT_EQ(ReadEvent(), code::kBreak);
  EXPECT_EQ(ReadEvent(), 0);  // reported once
  term.PushKey(platform::scan::kF1, 0);
  EXPECT_EQ(ReadEvent(), 0xBB);
}

TEST_F(ToolkitTest, HotkeysRunOnceWithoutReentryAndClearByOwner) {
  int runs = 0, nested = -1;
  SetHotkey(1, 0xBB, [&] {
    ++runs;
    term.PushKey(platform::scan::kF1, 0);
    nested = ReadEvent();  // the same key inside its own procedure: not run again
  });
  SetHotkey(1, 'a', [&] { ++runs; });  // below 0x81: ignored
  term.PushKey(platform::scan::kF1, 0);
  EXPECT_EQ(ReadEvent(), 0);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(nested, 0);
  term.PushChar('a');
  EXPECT_EQ(ReadEvent(), 'a');
  SetHotkey(2, 0xBC, [&] { runs += 10; });
  ClearHotkeys(1);
  term.PushKey(platform::scan::kF1, 0);
  EXPECT_EQ(ReadEvent(), 0xBB);
  term.PushKey(platform::scan::kF1 + 1, 0);
  EXPECT_EQ(ReadEvent(), 0);
  EXPECT_EQ(runs, 11);
}

TEST_F(ToolkitTest, FontKeysAreConsumed) {
  int step = 0;
  term.PushKey(platform::scan::kUp, 0, platform::kLeftAlt);
  EXPECT_EQ(ReadEvent(), 0);  // no font control: no effect
  SetFontStepper([&](int d) { step += d; });
  term.PushKey(platform::scan::kUp, 0, platform::kLeftAlt);
  term.PushKey(platform::scan::kDown, 0, platform::kLeftAlt);
  term.PushKey(platform::scan::kDown, 0, platform::kLeftAlt);
  EXPECT_EQ(Poll(3), std::vector<int>{});
  EXPECT_EQ(step, -1);
}

TEST_F(ToolkitTest, WaitKeyRunsIdleProcedureAfterTimeout) {
  int idles = 0;
  SetIdle([&] {
    if (++idles == 3) term.PushChar('q');
  }, 50);
  EXPECT_EQ(WaitKey(), 'q');  // every poll sleeps 1 ms on the manual clock
  EXPECT_EQ(idles, 3);
}
