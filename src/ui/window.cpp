// The framed window object: the window stack, the cells and output state it
// saves and puts back, scroll bars, the close box, moving by the top-left
// corner, and the top window's key reader with its mouse handling.
#include <algorithm>

#include "console/console.h"
#include "platform/codepage.h"
#include "platform/sysinfo.h"
#include "ui/state.h"

namespace ui {
namespace {

using namespace platform::literals;

constexpr auto kUpArrow = static_cast<std::uint8_t>("▲"_cp[0]);     // 0x1E
constexpr auto kDownArrow = static_cast<std::uint8_t>("▼"_cp[0]);   // 0x1F
constexpr auto kLeftArrow = static_cast<std::uint8_t>("◄"_cp[0]);   // 0x11
constexpr auto kRightArrow = static_cast<std::uint8_t>("►"_cp[0]);  // 0x10
constexpr int kFirstRepeat = 48, kNextRepeat = 8;              // hundredths of a second
constexpr std::int64_t kHundredthsPerDay = 24LL * 60 * 60 * 100;

bool IsLeftPress(std::uint8_t key) {
  return key == code::kLeftPress || key == code::kLeftHeld || key == code::kLeftRelease;
}

bool OnCloseBox(const Window& w) {
  return w.frameStyle != 4 && MouseShown() && MouseY() == w.y1 && MouseX() >= w.x1 + 1 &&
         MouseX() <= w.x1 + 3;
}

// The key a press on a scroll bar stands for, 0 when the mouse is not on one.
std::uint8_t ScrollKey(const Window& w) {
  int x = MouseX(), y = MouseY();
  if (w.vScroll && x == w.x2 && y >= w.y1 + w.vOffset && y <= w.y2 - 1) {
    int middle = w.y1 + w.vOffset + 1 + (w.y2 - w.y1 - 2 - w.vOffset) / 2;
    if (y == w.y1 + w.vOffset) return console::key::kUp;
    if (y == w.y2 - 1) return console::key::kDown;
    return y < middle ? console::key::kPgUp : console::key::kPgDn;
  }
  if (w.hScroll && y == w.y2 && x >= w.x1 + w.hOffset && x <= w.x2 - 2) {
    int middle = w.x1 + w.hOffset + 1 + (w.x2 - w.x1 - 3 - w.hOffset) / 2;
    if (x == w.x1 + w.hOffset) return console::key::kLeft;
    if (x == w.x2 - 2) return console::key::kRight;
    return x < middle ? console::key::kCtrlLeft : console::key::kCtrlRight;
  }
  return 0;
}

// A scroll bar of length cells: the first arrow, the track, the last arrow
// (which wins when the bar is one cell long).
std::string ScrollBar(int length, std::uint8_t first, std::uint8_t track, std::uint8_t last) {
  std::string bar(static_cast<std::size_t>(std::max(length, 0)), static_cast<char>(track));
  if (!bar.empty()) {
    bar.front() = static_cast<char>(first);
    bar.back() = static_cast<char>(last);
  }
  return bar;
}

// Follows a press on the close box until the button is let go: drawn
// pressed while the mouse stays on it. Esc when let go on it, else 0.
std::uint8_t TrackCloseBox(Window& w) {
  auto draw = [&] { w.DrawCloseBox(OnCloseBox(w) ? 0 : 1, false); };
  draw();
  FollowPress(draw);
  bool on = OnCloseBox(w);
  w.DrawCloseBox(1, false);
  return on ? console::key::kEsc : 0;
}

// Moves the window with the mouse while the left button drags.
void TrackMove(Window& w) {
  FollowPress([&] {
    if (!Dragging() || (MouseX() == w.x1 && MouseY() == w.y1)) return;
    w.MoveTo(MouseX(), MouseY());
    SetMousePos(w.x1, w.y1);
  });
}

// Filters the code read while a scroll-bar press is in progress: the held
// button's repeats give the bar's key when a repeat is due (48 hundredths
// after the press, then every 8) and 0 otherwise; any other code, or a move
// of the mouse, ends the press and passes through.
std::uint8_t ScrollRepeat(Window& w, std::uint8_t key) {
  auto& s = State();
  if (!w.scrollPress) return key;
  if (key != code::kLeftHeld || MouseX() != s.scrollX || MouseY() != s.scrollY) {
    w.scrollPress = false;
    return key;
  }
  if (HundredthsSince(s.scrollStart) < s.scrollDue) return 0;
  s.scrollDue += kNextRepeat;
  return s.scrollKey;
}

}  // namespace

std::int64_t HundredthsSince(std::int64_t start) {
  std::int64_t d = HundredthsOfDay() - start;
  return d < 0 ? d + kHundredthsPerDay : d;
}

Window::Window(int x1_, int y1_, int x2_, int y2_) {
  previous = State().top;
  State().top = this;
  SaveState(savedState);
  x1 = x1_, y1 = y1_, x2 = x2_, y2 = y2_;
  bodyAttr = console::TextAttr();
  frameAttr = RoleAttr(kRoleFrame);
  titleAttr = RoleAttr(kRoleTitle);
  std::string chars = FrameChars(frameStyle);
  hTrack = static_cast<std::uint8_t>(chars[5]);  // bottom line
  vTrack = static_cast<std::uint8_t>(chars[6]);  // left side
}

Window::~Window() {
  State().top = previous;
  BeginDraw();
  {
    MouseCursorHidden hidden;
    if (hasSaved) console::RestoreRect(x1, y1, x2, y2, saved.data());
  }
  saved.clear();
  hasSaved = false;
  RestoreState(savedState);
  EndDraw();
}

void Window::Draw() {
  BeginDraw();
  {
    MouseCursorHidden hidden;
    if (!hasSaved) {
      saved.resize(static_cast<std::size_t>((x2 - x1 + 1) * (y2 - y1 + 1) * 2));
      console::SaveRect(x1, y1, x2, y2, saved.data());
      hasSaved = true;
    }
    console::SetWindow(x1, y1, x2, y2);
    FillWindow(' ', bodyAttr);
    if (frameStyle != 4) DrawFrame(title, FrameChars(frameStyle), titleAttr, frameAttr);
    if (vScroll)
      console::WriteStringDown(x2, y1 + vOffset, ScrollBar(y2 - y1 - vOffset, kUpArrow, vTrack, kDownArrow),
                               frameAttr);
    if (hScroll)
      console::WriteString(x1 + hOffset, y2, ScrollBar(x2 - x1 - hOffset - 1, kLeftArrow, hTrack, kRightArrow),
                           frameAttr);
    DrawCloseBox(closeBox, true);
  }
  EndDraw();
}

void Window::DrawCloseBox(std::uint8_t state, bool force) {
  if ((state == closeBox && !force) || frameStyle == 4) return;
  closeBox = state;
  MouseCursorHidden hidden;
  console::WriteChars(x1 + 1, y1, state == 0 ? "[■]"_cp : "[*]"_cp);
}

// Puts back what lay under the window, moves the rectangle so that its
// top-left corner is at (column, row), kept whole on the screen, and draws
// the window there.
void Window::MoveTo(int column, int row) {
  int width = x2 - x1, height = y2 - y1;
  column = std::clamp(column, 1, std::max(1, console::ScreenWidth() - width));
  row = std::clamp(row, 1, std::max(1, console::ScreenHeight() - height));
  if (column == x1 && row == y1) return;
  BeginDraw();
  if (hasSaved) {
    MouseCursorHidden hidden;
    console::RestoreRect(x1, y1, x2, y2, saved.data());
  }
  hasSaved = false;
  x1 = column, y1 = row, x2 = column + width, y2 = row + height;
  Draw();
  EndDraw();
}

std::uint8_t Window::GetKey() {
  std::int64_t waitStart = HundredthsOfDay();
  for (;;) {
    std::uint8_t key = PollWindowKey(*this);
    if (key != 0) return key;
    if (!console::ConsoleAttended()) return console::key::kEsc;  // nobody will answer
    IdleTick(waitStart);
  }
}

std::uint8_t PollWindowKey(Window& w) {
  std::uint8_t key = ScrollRepeat(w, ReadEvent());
  if (key == 0 || !IsLeftPress(key) || Dragging()) return key;
  if (OnCloseBox(w)) return TrackCloseBox(w);
  if (w.movable && MouseAtCorner(w)) {
    TrackMove(w);
    return 0;
  }
  if (MouseIn(w)) {
    console::GotoXY(MouseX() - (console::WindMin() & 0xFF), MouseY() - (console::WindMin() >> 8));
    return key;
  }
  if (key != code::kLeftPress) return key;
  std::uint8_t scroll = ScrollKey(w);
  if (scroll == 0) return key;
  auto& s = State();
  w.scrollPress = true;
  s.scrollKey = scroll;
  s.scrollStart = HundredthsOfDay();
  s.scrollDue = kFirstRepeat;
  s.scrollX = MouseX();
  s.scrollY = MouseY();
  return scroll;
}

}  // namespace ui
