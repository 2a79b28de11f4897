// The console's font and window: what the console layer needs to fit an
// 80 x 25 window to the screen and to grow or shrink it by its font.
//
// Win32 loads the newer console functions at run time (they exist from
// system version 6 on) and uses them only on a console that draws its own
// window; on a console drawn on a character terminal, as on POSIX, there is
// no font control: Load fails, and the terminal keeps the user's own font
// and size.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

struct ConsoleSize {
  int Columns = 0, Rows = 0;
  bool operator==(const ConsoleSize&) const = default;
};

// A rectangle, corners inclusive for console cells, right/bottom exclusive
// for desktop pixels (as Windows gives them).
struct ConsoleRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const ConsoleRect&) const = default;
};

class ConsoleFontControl {
 public:
  virtual ~ConsoleFontControl() = default;

  // Makes the control ready. Win32: when the system's major version is at
  // least 6, loads "kernel32.dll" and "user32.dll" and looks up, by name and
  // in this order, GetConsoleWindow, SetCurrentConsoleFontEx,
  // GetCurrentConsoleFontEx, GetConsoleOriginalTitleA, SetConsoleTitleA,
  // GetWindowRect and SystemParametersInfoA; true only when all seven were
  // found and the console can take a font: it has a window and reports the
  // face and height of its current font. Nothing below may be called unless
  // Load returned true.
  virtual bool Load() = 0;
  // Releases the libraries that Load took.
  virtual void Unload() = 0;

  // Applies a font to the console output: the face (at most 31 characters
  // are used), weight 400, width 0, the given height in pixels. True when
  // the console took it.
  virtual bool SetFont(const std::string& face, int height) = 0;
  // The console's current font face and height; false when it does not tell.
  virtual bool CurrentFont(std::string& face, int& height) = 0;

  // The largest window the console can show with its current font.
  virtual ConsoleSize LargestWindow() = 0;
  virtual ConsoleSize BufferSize() = 0;
  // The visible part of the buffer (cells, corners inclusive).
  virtual bool SetWindowRect(const ConsoleRect& cells) = 0;
  virtual bool SetBufferSize(int columns, int rows) = 0;

  // The title the console had when it was created, and the current one.
  virtual std::string OriginalTitle() = 0;
  virtual bool SetTitle(const std::string& title) = 0;

  // The console window on the desktop, and the desktop's work area (the
  // screen less the task bar), in pixels.
  virtual bool WindowRect(ConsoleRect& pixels) = 0;
  virtual bool WorkArea(ConsoleRect& pixels) = 0;
  virtual bool MoveWindow(int x, int y, int width, int height) = 0;

  // Switches quick-edit mode off on the console input.
  virtual void QuickEditOff() = 0;

  // Remembers the console's font, input and output modes and buffer and
  // window size; Restore puts back what Remember saw (nothing before it).
  virtual void Remember() = 0;
  virtual void Restore() = 0;
};

// The font control of the console the program runs in.
std::unique_ptr<ConsoleFontControl> MakeNativeFontControl();

// A console font control for tests, on a desktop of a given size: a font of
// height h has cells CellWidth(h) pixels wide, so the largest window is the
// work area divided by the cell size, unless a test scripts it. Everything
// done to it is recorded.
class HeadlessFontControl : public ConsoleFontControl {
 public:
  HeadlessFontControl(int workWidth = 1920, int workHeight = 1040);

  static int CellWidth(int height) { return height * 3 / 5; }

  bool Load() override;
  void Unload() override { ++Unloads; }
  bool SetFont(const std::string& face, int height) override;
  bool CurrentFont(std::string& face, int& height) override;
  ConsoleSize LargestWindow() override;
  ConsoleSize BufferSize() override { return Buffer; }
  bool SetWindowRect(const ConsoleRect& cells) override;
  bool SetBufferSize(int columns, int rows) override;
  std::string OriginalTitle() override { return OriginalTitleAnswer; }
  bool SetTitle(const std::string& t) override;
  bool WindowRect(ConsoleRect& pixels) override;
  bool WorkArea(ConsoleRect& pixels) override;
  bool MoveWindow(int x, int y, int width, int height) override;
  void QuickEditOff() override { QuickEdit = false; }
  void Remember() override { ++Remembers; }
  void Restore() override { ++Restores; }

  // Script.
  bool Loadable = true;                   // what Load answers
  std::vector<std::string> Faces{"Lucida Console", "Consolas"};  // faces SetFont takes
  std::function<ConsoleSize(int height)> Largest;  // replaces the desktop rule when set
  ConsoleRect WorkAreaAnswer;             // what WorkArea answers
  std::string OriginalTitleAnswer = "C:\\prog\\prgfr.exe";  // what OriginalTitle answers

  // What was done.
  std::string Face;
  int Height = 16;
  std::vector<int> HeightsSet;            // every height SetFont took
  int FontCalls = 0;                      // every SetFont call, taken or not
  ConsoleSize Buffer{120, 300};
  ConsoleRect Window{0, 0, 119, 29};
  std::string Title;
  int WindowX = 0, WindowY = 0;           // desktop position
  bool QuickEdit = true;
  int Loads = 0, Unloads = 0, Remembers = 0, Restores = 0;
};

}  // namespace platform
