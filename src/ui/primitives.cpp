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

std::uint8_t BaseAttr() { return g_state.baseAttr; }
void SetBaseAttr(std::uint8_t attr) { g_state.baseAttr = attr; }

std::uint8_t RoleAttr(int role) {
  std::uint8_t a = g_state.baseAttr;
  if (role < 0 || role >= kRoleCount) return a;
  switch (kRoles[role].kind) {
    case 0: return a;
    case 1: return a & 0x77;
    case 2: return a | 0x08;
    case 3: return console::Inverse(a);
    case 4: return console::Inverse(a) | (a & 0x0F) | 0x08;
    case 5: return (console::Inverse(a) & 0xF8) | 0x08;
    case 6: return kRoles[role].value;
    default: return a;
  }
}

// ---- Output --------------------------------------------------------------------


int OutputMode() { return g_state.outputMode; }
void SetOutputMode(int mode) { g_state.outputMode = mode; }

std::string OutputConversion(std::string_view text) {
  if (g_state.outputMode == 50) return std::string(text);
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
  int mode = g_state.outputMode;
  g_state.outputMode = 50;  // converted once above
  WriteAt(column, 1, shown, attr);
  g_state.outputMode = mode;
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
  g_state.cursorShape = shape;
  ApplyCursorShape(shape);
}
}  // namespace

void CursorNormal() { RecordCursor(1); }
void CursorHidden() { RecordCursor(0); }
void CursorHalfBlock() { RecordCursor(2); }
int CursorShape() { return g_state.cursorShape; }

// ---- Mouse -------------------------------------------------------------------------

bool MousePresent() { return g_state.mousePresent; }
bool MouseShown() { return g_state.mouseShown; }
int MouseX() { return g_state.mouseX; }
int MouseY() { return g_state.mouseY; }

void InitMouse() {
  g_state.mousePresent = console::ConsoleOpen() && console::Term().MouseButtons() > 0;
  g_state.mouseX = g_state.mouseY = 1;
  ShowMouse();
}

void ShowMouse() {
  if (!g_state.mousePresent) return;
  console::Term().ShowMouse(true);
  g_state.mouseShown = true;
}

void HideMouse() {
  if (!g_state.mousePresent || !g_state.mouseShown) return;
  console::Term().ShowMouse(false);
  g_state.mouseShown = false;
}

void SetMousePos(int x, int y) {
  if (!g_state.mousePresent) return;
  console::Term().SetMousePos(x - 1, y - 1);
  g_state.mouseX = x;
  g_state.mouseY = y;
}

bool MouseIn(const Region& r) {
  if (!g_state.mouseShown) return false;
  int x = g_state.mouseX, y = g_state.mouseY;
  if (r.inclusive) return r.x1 <= x && x <= r.x2 && r.y1 <= y && y <= r.y2;
  return r.x1 < x && x < r.x2 && r.y1 < y && y < r.y2;
}

bool MouseOutside(const Region& r) {
  if (!g_state.mouseShown) return false;
  int x = g_state.mouseX, y = g_state.mouseY;
  return x < r.x1 || y < r.y1 || x > r.x2 || y > r.y2;
}

bool MouseAtCorner(const Region& r) {
  return g_state.mouseShown && g_state.mouseX == r.x1 && g_state.mouseY == r.y1;
}

// ---- Output state --------------------------------------------------------------

void SaveState(ScreenState& state) {
  state.windMin = console::WindMin();
  state.windMax = console::WindMax();
  state.cursorX = static_cast<std::uint8_t>(console::WhereX());
  state.cursorY = static_cast<std::uint8_t>(console::WhereY());
  state.textAttr = console::TextAttr();
  state.mouseX = static_cast<std::int16_t>(g_state.mouseX);
  state.mouseY = static_cast<std::int16_t>(g_state.mouseY);
  state.mouseVisible = g_state.mouseShown;
  state.cursorShape = static_cast<std::uint16_t>(g_state.cursorShape);
}

void RestoreState(const ScreenState& state) {
  console::SetWindow((state.windMin & 0xFF) + 1, (state.windMin >> 8) + 1,
                     (state.windMax & 0xFF) + 1, (state.windMax >> 8) + 1);
  console::GotoXY(state.cursorX, state.cursorY);
  console::SetTextAttr(state.textAttr);
  if (g_state.mousePresent) SetMousePos(state.mouseX, state.mouseY);
  if (state.mouseVisible) ShowMouse();
  else HideMouse();
  RecordCursor(state.cursorShape);
}

std::int64_t HundredthsOfDay() { return platform::HundredthsOfDay(); }

}  // namespace ui
