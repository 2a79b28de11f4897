// Colour roles, text output, window buffers, cursor, mouse and output state.
#include <algorithm>

#include "console/console.h"
#include "platform/sysinfo.h"
#include "platform/terminal.h"
#include "ui/state.h"

namespace ui {
namespace {

UiState g_state;

constexpr ColourRole kRoles[kRoleCount] = {
    {6, 0x00}, {2, 0}, {3, 0}, {1, 0}, {2, 0}, {5, 0}, {3, 0},
    {0, 0},    {2, 0}, {0, 0}, {3, 0}, {3, 0}, {1, 0}, {2, 0}, {6, 0x80},
};

int WindowLeft() { return (console::WindMin() & 0xFF) + 1; }
int WindowTop() { return (console::WindMin() >> 8) + 1; }

}  // namespace

UiState& State() { return g_state; }

void ResetToolkit() {
  g_state = UiState{};
}

// ---- Colours -----------------------------------------------------------------

std::uint8_t BaseAttr() { return g_state.BaseAttr; }
void SetBaseAttr(std::uint8_t attr) { g_state.BaseAttr = attr; }

std::uint8_t RoleAttr(int role) {
  std::uint8_t a = g_state.BaseAttr;
  if (role < 0 || role >= kRoleCount) return a;
  switch (kRoles[role].Kind) {
    case 0: return a;
    case 1: return a & 0x77;
    case 2: return a | 0x08;
    case 3: return console::Inverse(a);
    case 4: return console::Inverse(a) | (a & 0x0F) | 0x08;
    case 5: return (console::Inverse(a) & 0xF8) | 0x08;
    case 6: return kRoles[role].Value;
    default: return a;
  }
}

// ---- Output --------------------------------------------------------------------


int OutputMode() { return g_state.OutputMode; }
void SetOutputMode(int mode) { g_state.OutputMode = mode; }

std::string OutputConversion(std::string_view text) {
  if (g_state.OutputMode == 50) return std::string(text);
  return console::OutputText(text);
}

int WindowWidth() { return (console::WindMax() & 0xFF) - (console::WindMin() & 0xFF) + 1; }
int WindowHeight() { return (console::WindMax() >> 8) - (console::WindMin() >> 8) + 1; }
int WindowBufferSize() { return WindowWidth() * WindowHeight() * 2; }

void WriteAt(int column, int row, std::string_view text, std::uint8_t attr) {
  if (column < 1 || row < 1) return;
  std::string shown = OutputConversion(text);
  int room = WindowWidth() - column + 1;
  if (room <= 0) return;
  if (static_cast<int>(shown.size()) > room) shown.resize(room);
  MouseCursorHidden guard;
  console::WriteString(column + WindowLeft() - 1, row + WindowTop() - 1, shown, attr);
}

void WriteCentered(int x1, int x2, int row, std::string_view text, std::uint8_t attr) {
  ScreenState state;
  SaveState(state);
  console::SetWindow(x1, row, x2, row);
  std::string shown = OutputConversion(text);
  int column = std::max(1, (WindowWidth() - static_cast<int>(shown.size())) / 2 + 1);
  int mode = g_state.OutputMode;
  g_state.OutputMode = 50;  // converted once above
  WriteAt(column, 1, shown, attr);
  g_state.OutputMode = mode;
  RestoreState(state);
}

void WriteCharsAt(int column, int /*lastColumn*/, int row, std::string_view text) {
  MouseCursorHidden guard;
  console::WriteChars(column, row, text);
}

std::string ReadRowChars(int fromColumn, int toColumn, int row) {
  return console::ReadChars(fromColumn, std::min(toColumn, 80), row);
}

std::string ReadRowAttrs(int fromColumn, int toColumn, int row) {
  return console::ReadAttrs(fromColumn, std::min(toColumn, 80), row);
}

void WriteAttrsAt(int column, int /*lastColumn*/, int row, std::string_view attrs) {
  MouseCursorHidden guard;
  console::WriteAttrs(column, row, attrs);
}

void FillWindow(std::uint8_t ch, std::uint8_t attr) {
  MouseCursorHidden guard;
  console::HoldUpdates();
  for (int r = 0; r < WindowHeight(); ++r)
    console::Fill(WindowLeft(), WindowTop() + r, WindowWidth(), ch, attr);
  console::ReleaseUpdates();
}

void SaveWindow(std::vector<std::uint8_t>& buffer) {
  buffer.resize(static_cast<std::size_t>(WindowBufferSize()));
  console::SaveRect(WindowLeft(), WindowTop(), WindowLeft() + WindowWidth() - 1,
                    WindowTop() + WindowHeight() - 1, buffer.data());
}

void RestoreWindow(const std::vector<std::uint8_t>& buffer) {
  if (static_cast<int>(buffer.size()) < WindowBufferSize()) return;
  MouseCursorHidden guard;
  console::RestoreRect(WindowLeft(), WindowTop(), WindowLeft() + WindowWidth() - 1,
                       WindowTop() + WindowHeight() - 1, buffer.data());
}

void BeginDraw() { console::HoldUpdates(); }

void EndDraw() {
  console::ReleaseUpdates();
  MouseCursorHidden guard;  // the flush above ran with the mouse cursor hidden
}

// ---- Cursor ----------------------------------------------------------------------

void ApplyCursorShape(int shape) {
  console::SetCursor(shape == 0   ? console::Cursor::kHidden
                     : shape == 2 ? console::Cursor::kHalfBlock
                                  : console::Cursor::kNormal);
}

namespace {
void RecordCursor(int shape) {
  g_state.CursorShape = shape;
  ApplyCursorShape(shape);
}
}  // namespace

void CursorNormal() { RecordCursor(1); }
void CursorHidden() { RecordCursor(0); }
void CursorHalfBlock() { RecordCursor(2); }
int CursorShape() { return g_state.CursorShape; }

// ---- Mouse -------------------------------------------------------------------------

bool MousePresent() { return g_state.MousePresent; }
bool MouseShown() { return g_state.MouseShown; }
int MouseX() { return g_state.MouseX; }
int MouseY() { return g_state.MouseY; }

void InitMouse() {
  g_state.MousePresent = console::ConsoleOpen() && console::Term().MouseButtons() > 0;
  g_state.MouseX = g_state.MouseY = 1;
  ShowMouse();
}

void ShowMouse() {
  if (!g_state.MousePresent) return;
  console::Term().ShowMouse(true);
  g_state.MouseShown = true;
}

void HideMouse() {
  if (!g_state.MousePresent || !g_state.MouseShown) return;
  console::Term().ShowMouse(false);
  g_state.MouseShown = false;
}

void SetMousePos(int x, int y) {
  if (!g_state.MousePresent) return;
  console::Term().SetMousePos(x - 1, y - 1);
  g_state.MouseX = x;
  g_state.MouseY = y;
}

bool MouseIn(const Region& r) {
  if (!g_state.MouseShown) return false;
  int x = g_state.MouseX, y = g_state.MouseY;
  if (r.Inclusive) return r.X1 <= x && x <= r.X2 && r.Y1 <= y && y <= r.Y2;
  return r.X1 < x && x < r.X2 && r.Y1 < y && y < r.Y2;
}

bool MouseOutside(const Region& r) {
  if (!g_state.MouseShown) return false;
  int x = g_state.MouseX, y = g_state.MouseY;
  return x < r.X1 || y < r.Y1 || x > r.X2 || y > r.Y2;
}

bool MouseAtCorner(const Region& r) {
  return g_state.MouseShown && g_state.MouseX == r.X1 && g_state.MouseY == r.Y1;
}

// ---- Output state --------------------------------------------------------------

void SaveState(ScreenState& state) {
  state.WindMin = console::WindMin();
  state.WindMax = console::WindMax();
  state.CursorX = static_cast<std::uint8_t>(console::WhereX());
  state.CursorY = static_cast<std::uint8_t>(console::WhereY());
  state.TextAttr = console::TextAttr();
  state.MouseX = static_cast<std::int16_t>(g_state.MouseX);
  state.MouseY = static_cast<std::int16_t>(g_state.MouseY);
  state.MouseVisible = g_state.MouseShown;
  state.CursorShape = static_cast<std::uint16_t>(g_state.CursorShape);
}

void RestoreState(const ScreenState& state) {
  console::SetWindow((state.WindMin & 0xFF) + 1, (state.WindMin >> 8) + 1,
                     (state.WindMax & 0xFF) + 1, (state.WindMax >> 8) + 1);
  console::GotoXY(state.CursorX, state.CursorY);
  console::SetTextAttr(state.TextAttr);
  if (g_state.MousePresent) SetMousePos(state.MouseX, state.MouseY);
  if (state.MouseVisible) ShowMouse();
  else HideMouse();
  RecordCursor(state.CursorShape);
}

std::int64_t HundredthsOfDay() { return platform::HundredthsOfDay(); }

}  // namespace ui
