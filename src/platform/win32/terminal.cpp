// The terminal on the Win32 console: cells through WriteConsoleOutputW,
// input through the console's input records, Ctrl+C and the other control
// events through a console control handler.
#include <windows.h>

#include <atomic>
#include <deque>
#include <vector>

#include "platform/codepage.h"
#include "platform/terminal.h"
#include "platform/win32/console_handle.h"
#include "platform/win32/console_records.h"

namespace platform {
namespace {

using win32::ConsoleHandle;
using win32::Geometry;

constexpr DWORD kInputMode = ENABLE_MOUSE_INPUT | ENABLE_EXTENDED_FLAGS | ENABLE_WINDOW_INPUT;
constexpr UINT kCodePage = 852;
constexpr DWORD kNormalCursorSize = 15, kHalfBlockCursorSize = 50;

// The handler of the open terminal; the console calls it on its own thread.
std::atomic<ControlHandler> g_controlHandler{nullptr};
// Set when the console announced its end (closed, log-off, shut-down).
std::atomic<bool> g_consoleEnding{false};
// How long the console's end waits for the program to end its own way.
constexpr DWORD kEndingGraceMs = 4000;

// The system ends the program once the handler of a console's end returns,
// and its default ending says exit code 0. So the handler lets the program
// notice the end at its next look at the input (Lost) and end its own way,
// and ends it with kTerminalLostExitCode itself if that does not come soon.
BOOL WINAPI OnControlEvent(DWORD type) {
  ControlEvent event;
  if (!win32::ToControlEvent(type, event)) return FALSE;
  if (event == ControlEvent::kClose || event == ControlEvent::kLogoff ||
      event == ControlEvent::kShutdown) {
    g_consoleEnding = true;
    Sleep(kEndingGraceMs);
    ExitProcess(kTerminalLostExitCode);
  }
  ControlHandler handler = g_controlHandler.load();
  return handler && handler(event) ? TRUE : FALSE;
}

class ConsoleTerminal : public Terminal {
 public:
  ~ConsoleTerminal() override {
    if (open_) Close();
  }

  bool Open(std::string& reason) override;
  void Close() override;
  bool Lost(std::string& reason) const override;

  int Width() const override { return geometry_.Width; }
  int Height() const override { return geometry_.Height; }
  std::uint8_t InitialAttr() const override { return initialAttr_; }

  void WriteCells(int x, int y, const Cell* cells, int count) override;
  void Flush() override {}
  void SetCursor(int x, int y) override;
  void SetCursorShape(CursorShape shape) override;

  bool EventWaiting() override;
  bool NextEvent(Event& event) override;
  bool PeekEvent(Event& event) override;

  void SetControlHandler(ControlHandler handler) override;
  int MouseButtons() const override;
  void Beep() override { MessageBeep(0); }

 private:
  void ReadGeometry();
  void ReadPendingRecords();

  ConsoleHandle out_, in_;
  bool open_ = false;
  Geometry geometry_;
  std::uint8_t initialAttr_ = 0x07;
  std::deque<Event> events_;
  std::vector<CHAR_INFO> row_;
  bool handlerInstalled_ = false;
  bool lost_ = false;  // the console's input failed: its host is gone
  // What Close puts back.
  DWORD savedInputMode_ = 0;
  CONSOLE_CURSOR_INFO savedCursor_{};
  UINT savedOutputCP_ = 0, savedInputCP_ = 0;
};

bool ConsoleTerminal::Open(std::string& reason) {
  if (!out_.OpenOutput() || !in_.OpenInput()) {
    out_.Close();
    in_.Close();
    reason = "Nincs konzol."_cp;
    return false;
  }
  CONSOLE_SCREEN_BUFFER_INFO info;
  GetConsoleScreenBufferInfo(out_.Handle, &info);
  geometry_ = win32::GeometryOf(info);
  initialAttr_ = static_cast<std::uint8_t>(info.wAttributes & 0xFF);

  GetConsoleMode(in_.Handle, &savedInputMode_);
  SetConsoleMode(in_.Handle, kInputMode);
  GetConsoleCursorInfo(out_.Handle, &savedCursor_);
  savedOutputCP_ = GetConsoleOutputCP();
  savedInputCP_ = GetConsoleCP();
  SetConsoleOutputCP(kCodePage);
  SetConsoleCP(kCodePage);
  open_ = true;
  lost_ = false;
  return true;
}

void ConsoleTerminal::Close() {
  if (!open_) return;
  SetControlHandler(nullptr);
  SetConsoleMode(in_.Handle, savedInputMode_);
  SetConsoleCursorInfo(out_.Handle, &savedCursor_);
  if (savedOutputCP_) SetConsoleOutputCP(savedOutputCP_);
  if (savedInputCP_) SetConsoleCP(savedInputCP_);
  out_.Close();
  in_.Close();
  events_.clear();
  open_ = false;
}

bool ConsoleTerminal::Lost(std::string& reason) const {
  bool lost = lost_ || g_consoleEnding;
  if (lost) reason = "A konzol megszűnt, a program leáll."_cp;
  return lost;
}

void ConsoleTerminal::ReadGeometry() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(out_.Handle, &info)) geometry_ = win32::GeometryOf(info);
}

void ConsoleTerminal::WriteCells(int x, int y, const Cell* cells, int count) {
  if (count <= 0) return;
  row_.resize(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) row_[i] = win32::ToCharInfo(cells[i]);
  SHORT top = static_cast<SHORT>(y + geometry_.Top);
  SMALL_RECT area{static_cast<SHORT>(x), top, static_cast<SHORT>(x + count - 1), top};
  WriteConsoleOutputW(out_.Handle, row_.data(), COORD{static_cast<SHORT>(count), 1}, COORD{0, 0},
                      &area);
}

void ConsoleTerminal::SetCursor(int x, int y) {
  SetConsoleCursorPosition(out_.Handle,
                           COORD{static_cast<SHORT>(x), static_cast<SHORT>(y + geometry_.Top)});
}

void ConsoleTerminal::SetCursorShape(CursorShape shape) {
  CONSOLE_CURSOR_INFO info{kNormalCursorSize, TRUE};
  if (shape == CursorShape::kHidden) info.bVisible = FALSE;
  if (shape == CursorShape::kHalfBlock) info.dwSize = kHalfBlockCursorSize;
  SetConsoleCursorInfo(out_.Handle, &info);
}

// Moves every record the console holds into the event queue, translated;
// records that give no event are consumed on the way. Never blocks: only
// records that a peek has seen are read. (Peeking, unlike counting the
// records, also makes Wine's console on a Unix terminal fetch typed keys.)
// An input buffer that can no longer be read means the console is gone.
void ConsoleTerminal::ReadPendingRecords() {
  INPUT_RECORD records[32];
  DWORD waiting = 0;
  while (!lost_) {
    lost_ = !PeekConsoleInputW(in_.Handle, records, 32, &waiting);
    if (lost_ || waiting == 0) return;
    DWORD read = 0;
    lost_ = !ReadConsoleInputW(in_.Handle, records, waiting, &read);
    if (lost_ || read == 0) return;
    for (DWORD i = 0; i < read; ++i) {
      if (records[i].EventType == WINDOW_BUFFER_SIZE_EVENT) ReadGeometry();
      win32::AppendEvents(records[i], geometry_.Top, events_);
    }
  }
}

bool ConsoleTerminal::EventWaiting() {
  if (events_.empty()) ReadPendingRecords();
  return !events_.empty();
}

bool ConsoleTerminal::NextEvent(Event& event) {
  if (!EventWaiting()) return false;
  event = events_.front();
  events_.pop_front();
  return true;
}

bool ConsoleTerminal::PeekEvent(Event& event) {
  if (!EventWaiting()) return false;
  event = events_.front();
  return true;
}

void ConsoleTerminal::SetControlHandler(ControlHandler handler) {
  g_controlHandler.store(handler);
  bool wanted = handler != nullptr;
  if (wanted != handlerInstalled_ && SetConsoleCtrlHandler(OnControlEvent, wanted ? TRUE : FALSE))
    handlerInstalled_ = wanted;
}

int ConsoleTerminal::MouseButtons() const {
  DWORD buttons = 0;
  return GetNumberOfConsoleMouseButtons(&buttons) ? static_cast<int>(buttons) : 0;
}

}  // namespace

std::unique_ptr<Terminal> MakeNativeTerminal() { return std::make_unique<ConsoleTerminal>(); }

bool StandardStreamsOnConsole() {
  return win32::IsInputBuffer(GetStdHandle(STD_INPUT_HANDLE)) &&
         win32::IsScreenBuffer(GetStdHandle(STD_OUTPUT_HANDLE));
}

}  // namespace platform
