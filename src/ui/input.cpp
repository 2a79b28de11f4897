// The one key and mouse reader of every widget: ReadEvent turns console
// events into key codes (mouse presses, repeats, releases and double clicks,
// key bar clicks, hotkeys, the break request); WaitKey waits for one.
#include "console/console.h"
#include "platform/sysinfo.h"
#include "platform/terminal.h"
#include "ui/state.h"

namespace ui {
namespace {

constexpr int kDoubleClickHundredths = 24;

UiState& S() { return State(); }

bool NextIsMouse() {
  platform::Event e;
  return console::ConsoleOpen() && console::Term().PeekEvent(e) &&
         e.Kind == platform::EventKind::kMouse;
}

bool NextIsKey() {
  platform::Event e;
  return console::ConsoleOpen() && console::Term().PeekEvent(e) &&
         e.Kind == platform::EventKind::kKey;
}

// The cursor follows the drag state: hidden while dragging.
void ShowDragCursor() {
  if (S().Dragging) ApplyCursorShape(0);
  else ApplyCursorShape(S().CursorShape);
}

// One left (1) or right (2) button held alone.
std::uint8_t ButtonsHeld(std::uint32_t buttons) {
  auto& s = S();
  std::uint8_t code;
  if (s.Pending == 0 && s.Held == 0) {
    code = buttons == 1 ? code::kLeftPress : code::kRightPress;
  } else {
    code = buttons == 1 ? code::kLeftHeld : code::kRightHeld;
    s.Pending = buttons == 1 ? code::kLeftRelease : code::kRightRelease;
  }
  s.Dragging = buttons == s.Held;
  ShowDragCursor();
  s.Held = buttons;
  bool quick = platform::HundredthsOfDay() - s.LastRelease < kDoubleClickHundredths;
  if (buttons == s.LastButtons && quick && !NextIsMouse()) {
    s.LastButtons = s.Held = 0;
    s.Dragging = false;
    s.DoubleClick = buttons == 1 ? code::kLeftDouble : code::kRightDouble;
    code = 0;
  }
  return code;
}

// Buttons released (or held in another combination).
std::uint8_t ButtonsReleased() {
  auto& s = S();
  if (s.Held == 0) {
    s.Pending = 0;
    return 0;
  }
  s.Dragging = false;
  ApplyCursorShape(s.CursorShape);
  std::uint8_t code = s.DoubleClick ? s.DoubleClick : s.Pending;
  s.Pending = s.DoubleClick = 0;
  s.LastButtons = s.Held;
  s.Held = 0;
  return code;
}

// The mouse step: the waiting mouse event, or the last one again, which is
// how a held button repeats.
std::uint8_t MouseStep() {
  auto& s = S();
  s.Dragging = false;
  bool moved = false;
  if (NextIsMouse()) {
    platform::Event e;
    console::Term().NextEvent(e);
    s.LastMouse = e.Mouse;
    if (e.Mouse.Buttons == 0) s.LastRelease = platform::HundredthsOfDay();
    moved = e.Mouse.Moved;
    s.MouseX = e.Mouse.X + 1;
    s.MouseY = e.Mouse.Y + 1;
  }
  std::uint32_t buttons = s.LastMouse.Buttons;
  std::uint8_t code = (buttons == 1 || buttons == 2) ? ButtonsHeld(buttons) : ButtonsReleased();
  if (moved) {
    s.DoubleClick = 0;
    s.LastButtons = s.Held = 0;
    s.Dragging = buttons == 1;
  }
  return code;
}

// A press on a key bar label is swallowed; the release over the same label
// gives the label's key.
std::uint8_t KeyBarStep(std::uint8_t code) {
  KeyBar* bar = S().ActiveBar;
  if (!bar) return code;
  if (code == code::kLeftHeld || code == code::kLeftPress) {
    bar->Pressed = bar->LabelAtMouse();
    bar->Draw(false);
    if (bar->Pressed) code = 0;
  } else if (code == 0 && bar->Pressed) {
    KeyLabel* label = bar->Pressed;
    if (!MouseOutside(*label)) code = label->Key;
    bar->Pressed = nullptr;
    if (!bar->Hold) bar->Draw(false);
  }
  return code;
}

// Registered procedures take their key; the font keys are always consumed.
std::uint8_t HotkeyStep(std::uint8_t code) {
  auto& s = S();
  if (code == code::kFontLarger || code == code::kFontSmaller) {
    if (s.FontStepper) s.FontStepper(code == code::kFontLarger ? 1 : -1);
    return 0;
  }
  Hotkey& h = s.Hotkeys[code];
  if (code < 0x81 || !h.Procedure) return code;
  if (!h.Busy) {
    h.Busy = true;
    HotkeyProc procedure = h.Procedure;  // the procedure may replace its own entry
    procedure();
    s.Hotkeys[code].Busy = false;
  }
  return 0;
}

std::uint8_t KeyStep() {
  auto& s = S();
  s.Held = s.LastButtons = 0;
  s.Pending = s.DoubleClick = 0;
  platform::Event e;
  if (!console::ReadKeyEvent(e)) return 0;
  std::uint8_t code = console::TranslateKey(e.Key);
  if (code == 0x16) return code::kPaste;
  bool special = code != e.Key.Ch;
  return special ? HotkeyStep(code) : code;
}

}  // namespace

std::uint8_t ReadEvent() {
  auto& s = S();
  if (!console::KeyPressed()) platform::SleepMs(1);
  if (!s.TypeAhead.empty()) {
    auto code = static_cast<std::uint8_t>(s.TypeAhead[0]);
    s.TypeAhead.erase(0, 1);
    return code;
  }
  std::uint8_t code = 0;
  if (s.MousePresent) code = MouseStep();
  // Events the toolkit does not use (a resize) are taken and give nothing.
  platform::Event e;
  if (console::ConsoleOpen() && console::Term().PeekEvent(e) &&
      e.Kind == platform::EventKind::kResize)
    console::Term().NextEvent(e);
  if (!NextIsKey()) {
    code = HotkeyStep(KeyBarStep(code));
  } else {
    code = KeyStep();
  }
  if (console::BreakFlag()) {
    console::SetBreakFlag(false);
    code = code::kBreak;
  }
  return code;
}

bool Dragging() { return S().Dragging; }

void TypeAhead(std::string_view keys) { S().TypeAhead += keys; }

bool IsMouseCode(std::uint8_t code) {
  return (code >= code::kLeftHeld && code <= code::kLeftRelease) || code == code::kRightRelease;
}

void FollowPress(const std::function<void()>& afterEvent) {
  std::string typed;
  while (std::uint8_t code = ReadEvent()) {
    if (!IsMouseCode(code)) typed += static_cast<char>(code);
    afterEvent();
  }
  TypeAhead(typed);
}

void SetHotkey(std::uint8_t owner, std::uint8_t code, HotkeyProc procedure) {
  if (code < 0x81) return;
  S().Hotkeys[code] = Hotkey{std::move(procedure), owner, false};
}

void ClearHotkeys(std::uint8_t owner) {
  for (auto& h : S().Hotkeys)
    if (h.Procedure && h.Owner == owner) h = Hotkey{};
}

void SetIdle(std::function<void()> procedure, int hundredths) {
  S().Idle = std::move(procedure);
  S().IdleHundredths = hundredths;
}

void SetFontStepper(std::function<void(int)> stepper) { S().FontStepper = std::move(stepper); }

void IdleTick(std::int64_t& waitStart) {
  auto& s = S();
  if (!s.Idle || s.IdleHundredths <= 0) return;
  std::int64_t now = platform::HundredthsOfDay();
  if (now - waitStart > s.IdleHundredths) {
    s.Idle();
    waitStart = platform::HundredthsOfDay();
  }
}

Window* TopWindow() { return S().Top; }

std::uint8_t WaitKey() {
  std::int64_t start = platform::HundredthsOfDay();
  for (;;) {
    std::uint8_t code = TopWindow() ? TopWindow()->GetKey() : ReadEvent();
    if (code) return code;
    if (!console::ConsoleAttended()) return console::key::kEsc;  // nobody will answer
    IdleTick(start);
  }
}

}  // namespace ui
