// The scriptable console font control of the tests.
#include <algorithm>

#include "platform/console_font.h"

namespace platform {
namespace {
constexpr int kFrameWidth = 16, kFrameHeight = 39;  // window border and caption, pixels
}  // namespace

HeadlessFontControl::HeadlessFontControl(int workWidth, int workHeight)
    : WorkAreaAnswer{0, 0, workWidth, workHeight}, Face("Consolas") {}

bool HeadlessFontControl::Load() {
  ++Loads;
  return Loadable;
}

bool HeadlessFontControl::SetFont(const std::string& f, int h) {
  ++FontCalls;
  if (h < 1 || std::find(Faces.begin(), Faces.end(), f) == Faces.end()) return false;
  Face = f;
  Height = h;
  HeightsSet.push_back(h);
  return true;
}

bool HeadlessFontControl::CurrentFont(std::string& f, int& h) {
  f = Face;
  h = Height;
  return true;
}

ConsoleSize HeadlessFontControl::LargestWindow() {
  if (Largest) return Largest(Height);
  int cell = std::max(1, CellWidth(Height));
  return {(WorkAreaAnswer.Right - WorkAreaAnswer.Left) / cell, (WorkAreaAnswer.Bottom - WorkAreaAnswer.Top) / Height};
}

bool HeadlessFontControl::SetWindowRect(const ConsoleRect& cells) {
  ConsoleSize most = LargestWindow();
  if (cells.Left < 0 || cells.Top < 0 || cells.Right < cells.Left || cells.Bottom < cells.Top ||
      cells.Right >= Buffer.Columns || cells.Bottom >= Buffer.Rows ||
      cells.Right - cells.Left + 1 > most.Columns || cells.Bottom - cells.Top + 1 > most.Rows)
    return false;
  Window = cells;
  return true;
}

bool HeadlessFontControl::SetBufferSize(int columns, int rows) {
  if (columns <= Window.Right || rows <= Window.Bottom) return false;  // smaller than the window
  Buffer = {columns, rows};
  return true;
}

bool HeadlessFontControl::SetTitle(const std::string& t) {
  Title = t;
  return true;
}

bool HeadlessFontControl::WindowRect(ConsoleRect& pixels) {
  int width = (Window.Right - Window.Left + 1) * CellWidth(Height) + kFrameWidth;
  int tall = (Window.Bottom - Window.Top + 1) * Height + kFrameHeight;
  pixels = {WindowX, WindowY, WindowX + width, WindowY + tall};
  return true;
}

bool HeadlessFontControl::WorkArea(ConsoleRect& pixels) {
  pixels = WorkAreaAnswer;
  return true;
}

bool HeadlessFontControl::MoveWindow(int x, int y, int, int) {
  WindowX = x;
  WindowY = y;
  return true;
}

}  // namespace platform
