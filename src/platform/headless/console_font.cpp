// The scriptable console font control of the tests.
#include <algorithm>

#include "platform/console_font.h"

namespace platform {
namespace {
constexpr int kFrameWidth = 16, kFrameHeight = 39;  // window border and caption, pixels
}  // namespace

HeadlessFontControl::HeadlessFontControl(int workWidth, int workHeight)
    : workArea{0, 0, workWidth, workHeight}, face("Consolas") {}

bool HeadlessFontControl::Load() {
  ++loads;
  return loadable;
}

bool HeadlessFontControl::SetFont(const std::string& f, int h) {
  ++fontCalls;
  if (h < 1 || std::find(faces.begin(), faces.end(), f) == faces.end()) return false;
  face = f;
  height = h;
  heightsSet.push_back(h);
  return true;
}

bool HeadlessFontControl::CurrentFont(std::string& f, int& h) {
  f = face;
  h = height;
  return true;
}

ConsoleSize HeadlessFontControl::LargestWindow() {
  if (largest) return largest(height);
  int cell = std::max(1, CellWidth(height));
  return {(workArea.right - workArea.left) / cell, (workArea.bottom - workArea.top) / height};
}

bool HeadlessFontControl::SetWindowRect(const ConsoleRect& cells) {
  ConsoleSize most = LargestWindow();
  if (cells.left < 0 || cells.top < 0 || cells.right < cells.left || cells.bottom < cells.top ||
      cells.right >= buffer.columns || cells.bottom >= buffer.rows ||
      cells.right - cells.left + 1 > most.columns || cells.bottom - cells.top + 1 > most.rows)
    return false;
  window = cells;
  return true;
}

bool HeadlessFontControl::SetBufferSize(int columns, int rows) {
  if (columns <= window.right || rows <= window.bottom) return false;  // smaller than the window
  buffer = {columns, rows};
  return true;
}

bool HeadlessFontControl::SetTitle(const std::string& t) {
  title = t;
  return true;
}

bool HeadlessFontControl::WindowRect(ConsoleRect& pixels) {
  int width = (window.right - window.left + 1) * CellWidth(height) + kFrameWidth;
  int tall = (window.bottom - window.top + 1) * height + kFrameHeight;
  pixels = {windowX, windowY, windowX + width, windowY + tall};
  return true;
}

bool HeadlessFontControl::WorkArea(ConsoleRect& pixels) {
  pixels = workArea;
  return true;
}

bool HeadlessFontControl::MoveWindow(int x, int y, int, int) {
  windowX = x;
  windowY = y;
  return true;
}

}  // namespace platform
