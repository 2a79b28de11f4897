// Opening the console, key events and their one-byte codes, Ctrl+C.
#include <atomic>
#include <cstdio>

#include "console/internal.h"
#include "platform/codepage.h"
#include "platform/sysinfo.h"

namespace console {
namespace {

std::atomic<bool> g_break{false};

// Ctrl+C only raises the flag and the program goes on; every other control
// event is left to the platform's default handling.
bool OnControl(platform::ControlEvent event) {
  bool ctrlC = event == platform::ControlEvent::kCtrlC;
  g_break = ctrlC;
  return ctrlC;
}

struct KeyRow {
  std::uint8_t Scan;
  std::uint8_t Plain, Shift, Ctrl, Alt;
};

// Special keys by scan code and shift state; 0 = no code.
constexpr KeyRow kSpecialKeys[] = {
    {0x0F, 0, 0x8F, 0, 0},          // Tab (plain Tab carries its character)
    {0x47, 0xC7, 0, 0xF7, 0},       // Home
    {0x48, 0xC8, 0, 0, 0xF8},       // Up (Alt: font larger)
    {0x49, 0xC9, 0, 0, 0},          // PgUp
    {0x4B, 0xCB, 0, 0xF3, 0},       // Left
    {0x4D, 0xCD, 0, 0xF4, 0},       // Right
    {0x4F, 0xCF, 0, 0, 0},          // End
    {0x50, 0xD0, 0, 0, 0xF9},       // Down (Alt: font smaller)
    {0x51, 0xD1, 0, 0xF6, 0},       // PgDn
    {0x52, 0xD2, 0xF2, 0xF1, 0},    // Ins (Shift: paste, Ctrl: copy)
    {0x53, 0xD3, 0, 0, 0},          // Del
};

std::uint8_t FunctionKey(std::uint8_t scan, std::uint32_t shift) {
  int n = scan - platform::scan::kF1;  // 0..9
  if (shift & platform::kAnyAlt) return static_cast<std::uint8_t>(0x84 + n);
  if (shift & platform::kAnyCtrl) return static_cast<std::uint8_t>(0xDE + n);
  if (shift & platform::kShift) return static_cast<std::uint8_t>(0xD4 + n);
  return static_cast<std::uint8_t>(0xBB + n);
}

std::uint8_t AltKey(std::uint8_t scan) {
  if (scan >= 0x10 && scan <= 0x32) return static_cast<std::uint8_t>(0x80 + scan);
  if (scan >= 0x02 && scan <= 0x06) return static_cast<std::uint8_t>(0xFA + scan - 0x02);  // 1..5
  if (scan >= 0x78 && scan <= 0x7C) return static_cast<std::uint8_t>(0xFA + scan - 0x78);
  return 0;
}

// Nothing can be shown or typed on a console that went away: the program
// ends, saying why where standard error still works.
void EndIfConsoleLost() {
  std::string reason;
  if (!Term().Lost(reason)) return;
  platform::WriteLine(stderr, reason);
  EndProgram(kConsoleLostCode);
}

}  // namespace

std::uint8_t TranslateKey(const platform::KeyEvent& key) {
  using namespace platform;
  bool alt = key.Shift & kAnyAlt, ctrl = key.Shift & kAnyCtrl, shift = key.Shift & kShift;
  if (key.Scan >= scan::kF1 && key.Scan <= scan::kF10) return FunctionKey(key.Scan, key.Shift);
  const KeyRow* row = nullptr;
  for (const auto& r : kSpecialKeys)
    if (r.Scan == key.Scan) row = &r;
  if (alt && !ctrl) {  // Alt alone; AltGr (Alt with Ctrl) types characters
    if (row) return row->Alt;
    return AltKey(key.Scan);
  }
  if (key.Scan == scan::kTab && shift && !ctrl) return row->Shift;
  if (key.Ch != 0) return key.Ch;
  if (!row) return 0;
  if (ctrl) return row->Ctrl;
  if (shift) return row->Shift;
  return row->Plain;
}

void OpenConsole(platform::Terminal& terminal) {
  std::string reason;
  if (!terminal.Open(reason)) {
    platform::WriteLine(stderr, reason);
    EndProgram(kExitNoConsole);
  }
  ResetScreen(terminal);
  g_break = false;
  terminal.SetControlHandler(OnControl);
  SetCursor(Cursor::kNormal);
}

void CloseConsole() {
  auto& s = State();
  if (!s.Terminal) return;
  s.HoldDepth = 0;
  s.Terminal->SetControlHandler(nullptr);
  s.Terminal->Close();
  s.Terminal = nullptr;
}

bool KeyPressed() {
  if (!ConsoleOpen()) return false;
  if (Term().EventWaiting()) return true;
  EndIfConsoleLost();
  return false;
}

bool ReadKeyEvent(platform::Event& event) {
  if (!ConsoleOpen()) return false;
  while (Term().NextEvent(event)) {
    bool ctrlC = event.Kind == platform::EventKind::kKey && event.Key.Ch == 3 &&
                 (event.Key.Shift & platform::kAnyCtrl);
    if (!ctrlC) return true;
    g_break = true;  // Ctrl+C typed as a key: the same as the control event
  }
  EndIfConsoleLost();
  return false;
}

bool BreakFlag() { return g_break; }
void SetBreakFlag(bool on) { g_break = on; }

void Delay(int milliseconds) { platform::SleepMs(milliseconds); }

void Beep() {
  if (ConsoleOpen()) Term().Beep();
}

}  // namespace console
