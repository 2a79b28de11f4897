// The cell buffer, the text window, the cursor and pushing cells to the
// terminal.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "console/console.h"
#include "platform/codepage.h"

namespace console {
namespace {

ConsoleState g_state;

std::uint16_t MakeCell(std::uint8_t ch, std::uint8_t attr) {
  return static_cast<std::uint16_t>(attr << 8 | ch);
}

int Index(int column, int row) { return (column - 1) + (row - 1) * g_state.Width; }

bool OnScreen(int column, int row) {
  return column >= 1 && row >= 1 && column <= g_state.Width && row <= g_state.Height;
}

// Sends the cells in [from, to] that differ from what the terminal shows.
void PushRange(int from, int to) {
  auto& s = g_state;
  std::vector<platform::Cell> run;
  int runStart = -1;
  auto sendRun = [&] {
    if (runStart < 0) return;
    s.Terminal->WriteCells(runStart % s.Width, runStart / s.Width, run.data(),
                           static_cast<int>(run.size()));
    run.clear();
    runStart = -1;
  };
  for (int i = from; i <= to; ++i) {
    bool rowStart = i % s.Width == 0;
    if (rowStart) sendRun();
    if (s.Cells[i] == s.Shown[i]) {
      sendRun();
      continue;
    }
    if (runStart < 0) runStart = i;
    run.push_back({static_cast<std::uint8_t>(s.Cells[i] & 0xFF),
                   static_cast<std::uint8_t>(s.Cells[i] >> 8)});
    s.Shown[i] = s.Cells[i];
  }
  sendRun();
}

void PlaceCursor() {
  auto& s = g_state;
  if (!s.Terminal) return;
  int x = (s.WindMin & 0xFF) + s.CursorX - 1;
  int y = (s.WindMin >> 8) + s.CursorY - 1;
  s.Terminal->SetCursor(x, y);
}

void Flush() {
  auto& s = g_state;
  if (!s.Terminal || s.HoldDepth > 0 || s.DirtyFrom < 0) return;
  PushRange(s.DirtyFrom, s.DirtyTo);
  s.DirtyFrom = s.DirtyTo = -1;
  PlaceCursor();
  s.Terminal->Flush();
}

// Records that cells [from, from + count) changed and pushes them unless held.
void Changed(int from, int count) {
  if (count <= 0) return;
  auto& s = g_state;
  int to = from + count - 1;
  s.DirtyFrom = s.DirtyFrom < 0 ? from : std::min(s.DirtyFrom, from);
  s.DirtyTo = std::max(s.DirtyTo, to);
  Flush();
}

int WindowWidth() { return (g_state.WindMax & 0xFF) - (g_state.WindMin & 0xFF) + 1; }
int WindowHeight() { return (g_state.WindMax >> 8) - (g_state.WindMin >> 8) + 1; }

}  // namespace

ConsoleState& State() { return g_state; }

void EndProgram(int code) { throw ProgramEnd{code}; }

void WriteFatalReport(std::string_view report) {
  if (ConsoleOpen()) return Term().WriteReport(report);
  std::fwrite(report.data(), 1, report.size(), stdout);
  std::fflush(stdout);
}

void ResetScreen(platform::Terminal& terminal) {
  auto& s = g_state;
  s.Terminal = &terminal;
  s.Width = terminal.Width();
  s.Height = terminal.Height();
  s.TextAttr = terminal.InitialAttr();
  auto size = static_cast<std::size_t>(s.Width * s.Height);
  s.Cells.assign(size, MakeCell(' ', s.TextAttr));
  s.Shown.assign(size, 0xFFFF);  // nothing known to be shown yet
  s.WindMin = 0;
  s.WindMax = static_cast<std::uint16_t>(std::min(s.Height - 1, 255) << 8 | std::min(s.Width - 1, 255));
  s.CursorX = s.CursorY = 1;
  s.HoldDepth = 0;
  s.DirtyFrom = s.DirtyTo = -1;
}

platform::Terminal& Term() { return *g_state.Terminal; }
bool ConsoleOpen() { return g_state.Terminal != nullptr; }
bool ConsoleAttended() { return g_state.Terminal != nullptr && g_state.Terminal->Attended(); }
int ScreenWidth() { return g_state.Width; }
int ScreenHeight() { return g_state.Height; }
std::uint16_t WindMin() { return g_state.WindMin; }
std::uint16_t WindMax() { return g_state.WindMax; }

void SetWindow(int x1, int y1, int x2, int y2) {
  if (x1 < 1 || y1 < 1 || x2 < x1 || y2 < y1 || x2 > g_state.Width || y2 > g_state.Height)
    return;
  g_state.WindMin = static_cast<std::uint16_t>((y1 - 1) << 8 | (x1 - 1));
  g_state.WindMax = static_cast<std::uint16_t>((y2 - 1) << 8 | (x2 - 1));
  GotoXY(1, 1);
}

void GotoXY(int column, int row) {
  if (column < 1 || row < 1 || column > WindowWidth() || row > WindowHeight()) return;
  g_state.CursorX = column;
  g_state.CursorY = row;
  if (g_state.HoldDepth == 0) PlaceCursor();
}

int WhereX() { return g_state.CursorX; }
int WhereY() { return g_state.CursorY; }
std::uint8_t TextAttr() { return g_state.TextAttr; }
void SetTextAttr(std::uint8_t attr) { g_state.TextAttr = attr; }

void SetCursor(Cursor shape) {
  g_state.CursorShape = shape;
  if (!g_state.Terminal) return;
  static constexpr platform::CursorShape kShapes[] = {
      platform::CursorShape::kHidden, platform::CursorShape::kNormal,
      platform::CursorShape::kHalfBlock};
  g_state.Terminal->SetCursorShape(kShapes[static_cast<int>(shape)]);
}

void WriteString(int column, int row, std::string_view text, std::uint8_t attr) {
  if (!OnScreen(column, row)) return;
  int count = std::min(static_cast<int>(text.size()), g_state.Width - column + 1);
  int first = Index(column, row);
  for (int i = 0; i < count; ++i)
    g_state.Cells[first + i] = MakeCell(static_cast<std::uint8_t>(text[i]), attr);
  Changed(first, count);
}

void WriteChars(int column, int row, std::string_view text) {
  if (!OnScreen(column, row)) return;
  int first = Index(column, row);
  int count = std::min(static_cast<int>(text.size()), static_cast<int>(g_state.Cells.size()) - first);
  for (int i = 0; i < count; ++i) {
    auto& cell = g_state.Cells[first + i];
    cell = static_cast<std::uint16_t>((cell & 0xFF00) | static_cast<std::uint8_t>(text[i]));
  }
  Changed(first, count);
}

void WriteStringDown(int column, int row, std::string_view text, std::uint8_t attr) {
  if (!OnScreen(column, row)) return;
  int count = std::min(static_cast<int>(text.size()), g_state.Height - row + 1);
  HoldUpdates();
  for (int i = 0; i < count; ++i) {
    int at = Index(column, row + i);
    g_state.Cells[at] = MakeCell(static_cast<std::uint8_t>(text[i]), attr);
    Changed(at, 1);
  }
  ReleaseUpdates();
}

void Fill(int column, int row, int count, std::uint8_t ch, std::uint8_t attr) {
  if (!OnScreen(column, row) || count <= 0) return;
  int first = Index(column, row);
  count = std::min(count, static_cast<int>(g_state.Cells.size()) - first);
  std::fill_n(g_state.Cells.begin() + first, count, MakeCell(ch, attr));
  Changed(first, count);
}

void WriteAttrs(int column, int row, std::string_view attrs) {
  if (!OnScreen(column, row)) return;
  int count = std::min(static_cast<int>(attrs.size()), g_state.Width - column + 1);
  int first = Index(column, row);
  for (int i = 0; i < count; ++i) {
    auto& cell = g_state.Cells[first + i];
    cell = MakeCell(static_cast<std::uint8_t>(cell & 0xFF), static_cast<std::uint8_t>(attrs[i]));
  }
  Changed(first, count);
}

std::uint16_t CellAt(int column, int row) {
  return OnScreen(column, row) ? g_state.Cells[Index(column, row)] : MakeCell(' ', 0x07);
}

namespace {
std::string ReadRow(int fromColumn, int toColumn, int row, int shift) {
  std::string out;
  for (int c = fromColumn; c <= toColumn; ++c)
    out += static_cast<char>((CellAt(c, row) >> shift) & 0xFF);
  return out;
}
}  // namespace

std::string ReadChars(int fromColumn, int toColumn, int row) { return ReadRow(fromColumn, toColumn, row, 0); }
std::string ReadAttrs(int fromColumn, int toColumn, int row) { return ReadRow(fromColumn, toColumn, row, 8); }

void SaveRect(int x1, int y1, int x2, int y2, std::uint8_t* buffer) {
  for (int r = y1; r <= y2; ++r)
    for (int c = x1; c <= x2; ++c, buffer += 2) {
      std::uint16_t cell = CellAt(c, r);
      buffer[0] = static_cast<std::uint8_t>(cell & 0xFF);
      buffer[1] = static_cast<std::uint8_t>(cell >> 8);
    }
}

void RestoreRect(int x1, int y1, int x2, int y2, const std::uint8_t* buffer) {
  HoldUpdates();
  for (int r = y1; r <= y2; ++r)
    for (int c = x1; c <= x2; ++c, buffer += 2) {
      if (!OnScreen(c, r)) continue;
      g_state.Cells[Index(c, r)] = MakeCell(buffer[0], buffer[1]);
      Changed(Index(c, r), 1);
    }
  ReleaseUpdates();
}

void ClearWindow() {
  int left = (g_state.WindMin & 0xFF) + 1;
  HoldUpdates();
  for (int r = (g_state.WindMin >> 8) + 1; r <= (g_state.WindMax >> 8) + 1; ++r)
    Fill(left, r, WindowWidth(), ' ', g_state.TextAttr);
  ReleaseUpdates();
  GotoXY(1, 1);
}

void ClearEol() {
  int column = (g_state.WindMin & 0xFF) + g_state.CursorX;
  int row = (g_state.WindMin >> 8) + g_state.CursorY;
  Fill(column, row, WindowWidth() - g_state.CursorX + 1, ' ', g_state.TextAttr);
}

void HoldUpdates() { ++g_state.HoldDepth; }

void ReleaseUpdates() {
  if (g_state.HoldDepth > 0 && --g_state.HoldDepth == 0) Flush();
}

bool UpdatesHeld() { return g_state.HoldDepth > 0; }

void Repaint() {
  auto& s = g_state;
  std::fill(s.Shown.begin(), s.Shown.end(), 0xFFFF);
  Changed(0, static_cast<int>(s.Cells.size()));
}

}  // namespace console
