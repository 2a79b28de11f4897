// Frame character sets, framed windows, shadows and line joining.
#include <array>

#include "console/console.h"
#include "platform/codepage.h"
#include "ui/state.h"

namespace ui {
namespace {

using namespace platform::literals;

// top-left, bottom-left, top-right, bottom-right, top, bottom, left, right
constexpr std::array<std::string_view, 6> kFrames = {
    "┌└┐┘──││"_cp, "╔╚╗╝══║║"_cp, "╔╚╗╝══║║"_cp, "        "_cp, "░░░░░░░░"_cp, "::::::::"_cp,
};

int Left() { return (console::WindMin() & 0xFF) + 1; }
int Top() { return (console::WindMin() >> 8) + 1; }
int Right() { return (console::WindMax() & 0xFF) + 1; }
int Bottom() { return (console::WindMax() >> 8) + 1; }

// Writes one title centred in the top or bottom line of the frame.
void WriteTitle(std::string_view title, int row, std::uint8_t attr) {
  int inner = Right() - Left() - 1;
  if (title.empty() || inner <= 0) return;
  std::string shown = OutputConversion(title);
  if (static_cast<int>(shown.size()) > inner) shown.resize(inner);
  int column = Left() + (inner - static_cast<int>(shown.size())) / 2 + 1;
  console::WriteString(column, row, shown, attr);
}

bool In(std::string_view set, std::uint8_t ch) {
  return set.find(static_cast<char>(ch)) != std::string_view::npos;
}

}  // namespace

std::string FrameChars(int style) {
  if (style < 1 || style > 6) style = 1;
  return std::string(kFrames[style - 1]);
}

int FrameStyleOf(std::string_view chars) {
  for (int style = 1; style <= 6; ++style)
    if (kFrames[style - 1] == chars) return style;
  return 1;
}

std::string CurrentFrame() { return State().CurrentFrame; }

void DrawFrame(std::string_view title, std::string_view frameChars, std::uint8_t titleAttr,
               std::uint8_t frameAttr) {
  std::string f(frameChars);
  f.resize(8, ' ');
  State().CurrentFrame = f;
  int x1 = Left(), y1 = Top(), x2 = Right(), y2 = Bottom();
  if (f != kFrames[3]) {  // blanks: no visible frame
    BeginDraw();
    int inner = x2 - x1 - 1;
    std::string top = f[0] + std::string(std::max(inner, 0), f[4]) + f[2];
    std::string bottom = f[1] + std::string(std::max(inner, 0), f[5]) + f[3];
    console::WriteString(x1, y1, top, frameAttr);
    for (int r = y1 + 1; r < y2; ++r) {
      console::WriteString(x1, r, std::string(1, f[6]), frameAttr);
      console::WriteString(x2, r, std::string(1, f[7]), frameAttr);
    }
    console::WriteString(x1, y2, bottom, frameAttr);
    std::size_t split = title.find('\0');
    WriteTitle(title.substr(0, split), y1, titleAttr);
    if (split != std::string_view::npos) WriteTitle(title.substr(split + 1), y2, titleAttr);
    EndDraw();
  }
  console::SetWindow(x1 + 1, y1 + 1, x2 - 1, y2 - 1);
  console::GotoXY(1, 1);
}

void GrowWindow() {
  std::uint16_t lo = console::WindMin(), hi = console::WindMax();
  bool room = (lo & 0xFF) > 0 && (lo >> 8) > 0 && (hi & 0xFF) < console::ScreenWidth() - 1 &&
              (hi >> 8) < console::ScreenHeight() - 1;
  if (room) console::SetWindow(Left() - 1, Top() - 1, Right() + 1, Bottom() + 1);
}

void DrawShadow(int x1, int y1, int x2, int y2) {
  if (x2 >= console::ScreenWidth() - 1 || y2 >= console::ScreenHeight() - 1) return;
  auto darken = [](int column, int row) {
    std::string a = console::ReadAttrs(column, column, row);
    a[0] = static_cast<char>(static_cast<std::uint8_t>(a[0]) & ~0x08);
    console::WriteAttrs(column, row, a);
  };
  BeginDraw();
  for (int r = y1 + 1; r <= y2 + 1; ++r) {
    darken(x2 + 1, r);
    darken(x2 + 2, r);
  }
  for (int c = x1 + 2; c <= x2; ++c) darken(c, y2 + 1);
  EndDraw();
}

std::string JoinLine(int column, int row, std::string_view text) {
  static constexpr std::string_view kDown = "│├┬┤┼┌┐"_cp;   // lines going on downwards
  static constexpr std::string_view kRight = "─┤┴┬┼┐┘"_cp;  // previous character
  static constexpr std::string_view kLeft = "─├┴┬┼┌└"_cp;   // next character
  static constexpr std::string_view kUp = "│├┴┤┼└┘"_cp;     // lines going on upwards
  static constexpr std::array<std::string_view, 16> kJunction = {
      "", "", "", "┌"_cp, "", "┐"_cp, "", "┬"_cp, "", "", "└"_cp, "├"_cp, "┘"_cp, "┤"_cp, "┴"_cp, "┼"_cp};
  std::string out(text);
  int y = row + Top() - 1;
  for (int i = 0; i < static_cast<int>(text.size()); ++i) {
    int x = column + Left() - 1 + i;
    if (x < 1 || x > console::ScreenWidth() || y < 1 || y > console::ScreenHeight()) continue;
    int mask = 0;
    if (y > 1 && In(kDown, console::CellAt(x, y - 1) & 0xFF)) mask += 8;
    if (i > 0 && In(kRight, static_cast<std::uint8_t>(text[i - 1]))) mask += 4;
    if (i + 1 < static_cast<int>(text.size()) && In(kLeft, static_cast<std::uint8_t>(text[i + 1])))
      mask += 2;
    if (y < console::ScreenHeight() && In(kUp, console::CellAt(x, y + 1) & 0xFF)) mask += 1;
    if (!kJunction[mask].empty()) out[i] = kJunction[mask][0];
  }
  return out;
}

}  // namespace ui
