// The terminal: a grid of cells (code page 852 character + attribute byte),
// a cursor, and a queue of input events. Nothing else in the library knows
// how a console or terminal works.
//
// Coordinates here are 0-based screen positions. Key events follow the
// Windows console's model: a PC set-1 scan code, the character the key
// produced in code page 852 (0 for special keys) and the shift state.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct Cell {
  std::uint8_t Ch = ' ';
  std::uint8_t Attr = 0x07;
  bool operator==(const Cell&) const = default;
};

// Shift-state bits, as the Windows console reports them.
enum ShiftBits : std::uint32_t {
  kRightAlt = 0x0001,
  kLeftAlt = 0x0002,
  kRightCtrl = 0x0004,
  kLeftCtrl = 0x0008,
  kShift = 0x0010,
  kAnyAlt = kRightAlt | kLeftAlt,
  kAnyCtrl = kRightCtrl | kLeftCtrl,
};

// PC set-1 scan codes of the keys the suite distinguishes.
namespace scan {
inline constexpr std::uint8_t kEsc = 0x01, kTab = 0x0F, kEnter = 0x1C, kBackspace = 0x0E;
inline constexpr std::uint8_t kF1 = 0x3B, kF10 = 0x44, kF11 = 0x57, kF12 = 0x58;
inline constexpr std::uint8_t kHome = 0x47, kUp = 0x48, kPgUp = 0x49, kLeft = 0x4B;
inline constexpr std::uint8_t kRight = 0x4D, kEnd = 0x4F, kDown = 0x50, kPgDn = 0x51;
inline constexpr std::uint8_t kIns = 0x52, kDel = 0x53;
}  // namespace scan

// Scan code of the key that types an ASCII character on a Hungarian
// (QWERTZ) keyboard, 0 when none is known.
std::uint8_t ScanCodeOfChar(char c);

struct KeyEvent {
  std::uint8_t Scan = 0;   // PC set-1 scan code
  std::uint8_t Ch = 0;     // code page 852 character, 0 for a special key
  std::uint32_t Shift = 0; // ShiftBits
};

// Mouse buttons: bit 0 left, bit 1 right.
struct MouseEvent {
  int X = 0, Y = 0;         // 0-based cell
  std::uint32_t Buttons = 0;
  bool Moved = false;       // position changed (drag or plain move)
  std::uint32_t Shift = 0;
};

enum class EventKind { kKey, kMouse, kResize };

struct Event {
  EventKind Kind = EventKind::kKey;
  KeyEvent Key;
  MouseEvent Mouse;
};

// Console control events.
enum class ControlEvent { kCtrlC, kBreak, kClose, kLogoff, kShutdown };
// The exit code of a program whose console or terminal went away under it.
inline constexpr int kTerminalLostExitCode = 255;
// Returns true when the event is handled (the program goes on); false leaves
// it to the platform's default handling.
using ControlHandler = bool (*)(ControlEvent);

enum class CursorShape { kHidden, kNormal, kHalfBlock };

class Terminal {
 public:
  virtual ~Terminal() = default;

  // Takes the terminal over. Returns false with a one-line reason when no
  // console or terminal is available.
  virtual bool Open(std::string& reason) = 0;
  // Gives the terminal back as it was found.
  virtual void Close() = 0;
  // True once the console or terminal has gone away under the program (its
  // host ended, its handles fail): nothing can be shown or typed any more.
  // reason then tells so in one line.
  virtual bool Lost(std::string& reason) const {
    (void)reason;
    return false;
  }

  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // The text attribute the console had at start (0x07 when it says nothing).
  virtual std::uint8_t InitialAttr() const { return 0x07; }

  // Shows a run of cells starting at (x, y); the run stays within row y.
  virtual void WriteCells(int x, int y, const Cell* cells, int count) = 0;
  // Makes everything written so far visible.
  virtual void Flush() = 0;
  virtual void SetCursor(int x, int y) = 0;
  virtual void SetCursorShape(CursorShape shape) = 0;

  // True when an input event is waiting.
  virtual bool EventWaiting() = 0;
  // Takes the next waiting event without blocking; false when none.
  virtual bool NextEvent(Event& event) = 0;
  // The waiting event, left in the queue; false when none.
  virtual bool PeekEvent(Event& event) = 0;

  // Installs the handler for console control events (Ctrl+C and others).
  virtual void SetControlHandler(ControlHandler handler) = 0;

  // Mouse: number of buttons (0 = no mouse); showing and moving its cursor.
  virtual int MouseButtons() const = 0;
  virtual void ShowMouse(bool shown) { (void)shown; }
  virtual void SetMousePos(int x, int y) { (void)x; (void)y; }

  virtual void Beep() {}

  // False when nobody is at this terminal to answer (the in-memory screen of
  // a batch job): nothing may wait for a key then.
  virtual bool Attended() const { return true; }

  // Writes the report of a program's fatal end (code page 852 lines, each
  // ending in "\n") to the standard output. Here: the bytes as they are. The
  // POSIX terminal writes them readable when the standard output is the
  // terminal it holds (Unicode, line ends that return to the first column),
  // and writes the report again to the standard error once the terminal is
  // given back, where the screen of the program is gone.
  virtual void WriteReport(std::string_view report) {
    std::fwrite(report.data(), 1, report.size(), stdout);
    std::fflush(stdout);
  }
};

// The terminal of the running program: the console or terminal it was
// started in.
std::unique_ptr<Terminal> MakeNativeTerminal();
// True when standard input and output are both that console or terminal,
// false when either is redirected (a program started from a script or a
// scheduled task).
bool StandardStreamsOnConsole();

// An in-memory terminal for tests: keys and mouse events are scripted, and
// what was shown can be read back cell by cell.
class HeadlessTerminal : public Terminal {
 public:
  explicit HeadlessTerminal(int width = 80, int height = 25);

  bool Open(std::string& reason) override;
  void Close() override;
  bool Lost(std::string& reason) const override;
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void WriteCells(int x, int y, const Cell* cells, int count) override;
  void Flush() override { ++flushes_; }
  void SetCursor(int x, int y) override { cursorX_ = x; cursorY_ = y; }
  void SetCursorShape(CursorShape shape) override { shape_ = shape; }
  bool EventWaiting() override { return !events_.empty(); }
  bool NextEvent(Event& event) override;
  bool PeekEvent(Event& event) override;
  void SetControlHandler(ControlHandler handler) override { handler_ = handler; }
  int MouseButtons() const override { return mouseButtons_; }
  void Beep() override { ++beeps_; }

  // Scripting.
  void PushKey(std::uint8_t scan, std::uint8_t ch, std::uint32_t shift = 0);
  void PushChar(char ch);  // a plain character key, scan code from the layout
  void PushMouse(int x, int y, std::uint32_t buttons, bool moved = false);
  void PushEvent(const Event& event) { events_.push_back(event); }
  // Delivers a control event as the console would; returns the handler's answer.
  bool RaiseControl(ControlEvent event);
  void SetMouseButtons(int n) { mouseButtons_ = n; }
  // The console goes away: Lost answers true from now on.
  void Lose() { lost_ = true; }
  // Nobody answers at this terminal (a batch job's screen): see Attended.
  void SetAttended(bool attended) { attended_ = attended; }
  bool Attended() const override { return attended_; }

  // Reading back.
  Cell At(int x, int y) const { return cells_[y * width_ + x]; }
  std::string RowText(int y) const;  // the characters of a row
  int CursorX() const { return cursorX_; }
  int CursorY() const { return cursorY_; }
  CursorShape Shape() const { return shape_; }
  long CellsWritten() const { return cellsWritten_; }  // cells received so far
  int Flushes() const { return flushes_; }
  int Beeps() const { return beeps_; }
  bool IsOpen() const { return open_; }

 private:
  int width_, height_;
  std::vector<Cell> cells_;
  std::vector<Event> events_;
  ControlHandler handler_ = nullptr;
  int cursorX_ = 0, cursorY_ = 0;
  CursorShape shape_ = CursorShape::kNormal;
  long cellsWritten_ = 0;
  int flushes_ = 0, beeps_ = 0, mouseButtons_ = 2;
  bool open_ = false, lost_ = false, attended_ = true;
};

}  // namespace platform
