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
  return w.FrameStyle != 4 && MouseShown() && MouseY() == w.Y1 && MouseX() >= w.X1 + 1 &&
         MouseX() <= w.X1 + 3;
}

// The key a press on a scroll bar stands for, 0 when the mouse is not on one.
std::uint8_t ScrollKey(const Window& w) {
  int x = MouseX(), y = MouseY();
  if (w.VScroll && x == w.X2 && y >= w.Y1 + w.VOffset && y <= w.Y2 - 1) {
    int middle = w.Y1 + w.VOffset + 1 + (w.Y2 - w.Y1 - 2 - w.VOffset) / 2;
    if (y == w.Y1 + w.VOffset) return console::key::kUp;
    if (y == w.Y2 - 1) return console::key::kDown;
    return y < middle ? console::key::kPgUp : console::key::kPgDn;
  }
  if (w.HScroll && y == w.Y2 && x >= w.X1 + w.HOffset && x <= w.X2 - 2) {
    int middle = w.X1 + w.HOffset + 1 + (w.X2 - w.X1 - 3 - w.HOffset) / 2;
    if (x == w.X1 + w.HOffset) return console::key::kLeft;
    if (x == w.X2 - 2) return console::key::kRight;
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
    if (!Dragging() || (MouseX() == w.X1 && MouseY() == w.Y1)) return;
    w.MoveTo(MouseX(), MouseY());
    SetMousePos(w.X1, w.Y1);
  });
}

// Filters the code read while a scroll-bar press is in progress: the held
// button's repeats give the bar's key when a repeat is due (48 hundredths
// after the press, then every 8) and 0 otherwise; any other code, or a move
// of the mouse, ends the press and passes through.
std::uint8_t ScrollRepeat(Window& w, std::uint8_t key) {
  auto& s = State();
  if (!w.ScrollPress) return key;
  if (key != code::kLeftHeld || MouseX() != s.ScrollX || MouseY() != s.ScrollY) {
    w.ScrollPress = false;
    return key;
  }
  if (HundredthsSince(s.ScrollStart) < s.ScrollDue) return 0;
  s.ScrollDue += kNextRepeat;
  return s.ScrollKey;
}

}  // namespace

std::int64_t HundredthsSince(std::int64_t start) {
  std::int64_t d = HundredthsOfDay() - start;
  return d < 0 ? d + kHundredthsPerDay : d;
}

Window::Window(int x1_, int y1_, int x2_, int y2_) {
  Previous = State().Top;
  State().Top = this;
  SaveState(SavedState);
  X1 = x1_, Y1 = y1_, X2 = x2_, Y2 = y2_;
  BodyAttr = console::TextAttr();
  FrameAttr = RoleAttr(kRoleFrame);
  TitleAttr = RoleAttr(kRoleTitle);
  std::string chars = FrameChars(FrameStyle);
  HTrack = static_cast<std::uint8_t>(chars[5]);  // bottom line
  VTrack = static_cast<std::uint8_t>(chars[6]);  // left side
}

Window::~Window() {
  State().Top = Previous;
  BeginDraw();
  {
    MouseCursorHidden hidden;
    if (HasSaved) console::RestoreRect(X1, Y1, X2, Y2, Saved.data());
  }
  Saved.clear();
  HasSaved = false;
  RestoreState(SavedState);
  EndDraw();
}

void Window::Draw() {
  BeginDraw();
  {
    MouseCursorHidden hidden;
    if (!HasSaved) {
      Saved.resize(static_cast<std::size_t>((X2 - X1 + 1) * (Y2 - Y1 + 1) * 2));
      console::SaveRect(X1, Y1, X2, Y2, Saved.data());
      HasSaved = true;
    }
    console::SetWindow(X1, Y1, X2, Y2);
    FillWindow(' ', BodyAttr);
    if (FrameStyle != 4) DrawFrame(Title, FrameChars(FrameStyle), TitleAttr, FrameAttr);
    if (VScroll)
      console::WriteStringDown(X2, Y1 + VOffset, ScrollBar(Y2 - Y1 - VOffset, kUpArrow, VTrack, kDownArrow),
                               FrameAttr);
    if (HScroll)
      console::WriteString(X1 + HOffset, Y2, ScrollBar(X2 - X1 - HOffset - 1, kLeftArrow, HTrack, kRightArrow),
                           FrameAttr);
    DrawCloseBox(CloseBox, true);
  }
  EndDraw();
}

void Window::DrawCloseBox(std::uint8_t state, bool force) {
  if ((state == CloseBox && !force) || FrameStyle == 4) return;
  CloseBox = state;
  MouseCursorHidden hidden;
  console::WriteChars(X1 + 1, Y1, state == 0 ? "[■]"_cp : "[*]"_cp);
}

// Puts back what lay under the window, moves the rectangle so that its
// top-left corner is at (column, row), kept whole on the screen, and draws
// the window there.
void Window::MoveTo(int column, int row) {
  int width = X2 - X1, height = Y2 - Y1;
  column = std::clamp(column, 1, std::max(1, console::ScreenWidth() - width));
  row = std::clamp(row, 1, std::max(1, console::ScreenHeight() - height));
  if (column == X1 && row == Y1) return;
  BeginDraw();
  if (HasSaved) {
    MouseCursorHidden hidden;
    console::RestoreRect(X1, Y1, X2, Y2, Saved.data());
  }
  HasSaved = false;
  X1 = column, Y1 = row, X2 = column + width, Y2 = row + height;
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
  if (w.Movable && MouseAtCorner(w)) {
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
  w.ScrollPress = true;
  s.ScrollKey = scroll;
  s.ScrollStart = HundredthsOfDay();
  s.ScrollDue = kFirstRepeat;
  s.ScrollX = MouseX();
  s.ScrollY = MouseY();
  return scroll;
}

}  // namespace ui
