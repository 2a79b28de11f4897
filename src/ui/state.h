// The toolkit's process-wide state, one struct reachable through State() so
// that a test can reset it. Internal to ui/.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/terminal.h"
#include "ui/ui.h"

namespace ui {

struct Hotkey {
  HotkeyProc Procedure;
  std::uint8_t Owner = 0;
  bool Busy = false;
};

struct UiState {
  // Colours, output, frames.
  std::uint8_t BaseAttr = 0x07;
  int OutputMode = 50;
  std::string CurrentFrame;
  // Cursor and mouse.
  int CursorShape = 1;
  bool MousePresent = false, MouseShown = false;
  int MouseX = 1, MouseY = 1;
  // ReadEvent's mouse state machine.
  std::uint32_t Held = 0, LastButtons = 0;
  std::uint8_t Pending = 0, DoubleClick = 0;
  std::int64_t LastRelease = -100000;
  bool Dragging = false;
  platform::MouseEvent LastMouse;  // repeated while no new mouse event waits
  // Keys.
  std::string TypeAhead;
  std::array<Hotkey, 256> Hotkeys{};
  std::function<void()> Idle;
  int IdleHundredths = 0;
  std::function<void(int)> FontStepper;
  // Windows and dialogs.
  Window* Top = nullptr;
  bool DefaultButtonMode = false;
  // The scroll-bar press in progress (a window's ScrollPress): the key it
  // repeats, when it was pressed, when the next repeat is due (hundredths
  // after the press) and where the mouse stood.
  std::uint8_t ScrollKey = 0;
  std::int64_t ScrollStart = 0, ScrollDue = 0;
  int ScrollX = 0, ScrollY = 0;
  // Key bar.
  KeyBar* ActiveBar = nullptr;
  // Pick list.
  char ViewMode = '1';
  std::string SearchText;
  std::function<void(std::uint32_t)> F9Hook;
  bool F9Enabled = false;
};

UiState& State();

// Runs the idle procedure when the wait that began at waitStart has lasted
// longer than the idle time-out; restarts the wait then.
void IdleTick(std::int64_t& waitStart);

// One round of a window's key reader: reads one event and handles the mouse
// on the window (close box, move, cursor placement, scroll bars and their
// repeat). 0 when nothing came or the mouse action was consumed.
std::uint8_t PollWindowKey(Window& window);

// Hundredths of a second since a time of day of HundredthsOfDay(), across
// midnight too.
std::int64_t HundredthsSince(std::int64_t start);

// True for the codes ReadEvent gives for mouse actions.
bool IsMouseCode(std::uint8_t code);

// Follows a mouse press: reads events until nothing more comes (the button
// let go), calling afterEvent after each. Keys typed meanwhile are kept, in
// order, for the reads after it.
void FollowPress(const std::function<void()>& afterEvent);

// Hides the mouse cursor for a scope and shows it again if it was shown.
class MouseCursorHidden {
 public:
  MouseCursorHidden() : wasShown_(MouseShown()) { HideMouse(); }
  ~MouseCursorHidden() {
    if (wasShown_) ShowMouse();
  }
  MouseCursorHidden(const MouseCursorHidden&) = delete;
  MouseCursorHidden& operator=(const MouseCursorHidden&) = delete;

 private:
  bool wasShown_;
};

}  // namespace ui
