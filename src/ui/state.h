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
  HotkeyProc procedure;
  std::uint8_t owner = 0;
  bool busy = false;
};

struct UiState {
  // Colours, output, frames.
  std::uint8_t baseAttr = 0x07;
  int outputMode = 50;
  std::string currentFrame;
  // Cursor and mouse.
  int cursorShape = 1;
  bool mousePresent = false, mouseShown = false;
  int mouseX = 1, mouseY = 1;
  // ReadEvent's mouse state machine.
  std::uint32_t held = 0, lastButtons = 0;
  std::uint8_t pending = 0, doubleClick = 0;
  std::int64_t lastRelease = -100000;
  bool dragging = false;
  platform::MouseEvent lastMouse;  // repeated while no new mouse event waits
  // Keys.
  std::string typeAhead;
  std::array<Hotkey, 256> hotkeys{};
  std::function<void()> idle;
  int idleHundredths = 0;
  std::function<void(int)> fontStepper;
  // Windows and dialogs.
  Window* top = nullptr;
  bool defaultButtonMode = false;
  // The scroll-bar press in progress (a window's scrollPress): the key it
  // repeats, when it was pressed, when the next repeat is due (hundredths
  // after the press) and where the mouse stood.
  std::uint8_t scrollKey = 0;
  std::int64_t scrollStart = 0, scrollDue = 0;
  int scrollX = 0, scrollY = 0;
  // Key bar.
  KeyBar* activeBar = nullptr;
  // Pick list.
  char viewMode = '1';
  std::string searchText;
  std::function<void(std::uint32_t)> f9Hook;
  bool f9Enabled = false;
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
