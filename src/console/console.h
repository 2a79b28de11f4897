// The console driver: an in-memory buffer of screen cells copied to the
// terminal, the current text window with its cursor and text attribute, the
// suite's one-byte key codes, and Ctrl+C handling.
//
// Coordinates are 1-based. "Absolute" positions are screen positions;
// window-relative ones count from the text window's top-left corner.
// Text is code page 852.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/terminal.h"

namespace console {

// The one way out of a program: thrown by EndProgram, caught by main, which
// restores the terminal and returns the code.
struct ProgramEnd {
  int code;
};
[[noreturn]] void EndProgram(int code);

// ---- Start and end -------------------------------------------------------

// Takes the terminal over: screen size, text attribute, text window = whole
// screen, control handler installed. Without a console it writes a one-line
// reason to standard error and ends the program with exit code 1.
void OpenConsole(platform::Terminal& terminal);
// Restores the terminal; the console is unusable until opened again.
void CloseConsole();
bool ConsoleOpen();
// The terminal the console draws on (valid while open).
platform::Terminal& Term();

// ---- Screen, window, cursor, attribute -------------------------------------

int ScreenWidth();
int ScreenHeight();
// Window corners: column in the low byte, row in the high byte, 0-based.
std::uint16_t WindMin();
std::uint16_t WindMax();
// Absolute corners; ignored when x2 < x1, y2 < y1, x2 > ScreenWidth or
// y2 > ScreenHeight (or a corner is 0).
void SetWindow(int x1, int y1, int x2, int y2);

void GotoXY(int column, int row);  // inside the window
int WhereX();
int WhereY();

std::uint8_t TextAttr();
void SetTextAttr(std::uint8_t attr);

enum class Cursor { kHidden = 0, kNormal = 1, kHalfBlock = 2 };
void SetCursor(Cursor shape);

// ---- Cells ---------------------------------------------------------------

// Each character becomes a cell with attr; the text stops at the end of row.
void WriteString(int column, int row, std::string_view text, std::uint8_t attr);
// Characters only, attributes stay; continues on the next rows up to the end
// of the screen.
void WriteChars(int column, int row, std::string_view text);
// One character per row, downwards, stopping at the last row.
void WriteStringDown(int column, int row, std::string_view text, std::uint8_t attr);
// count cells from the position, stopping at the end of the screen.
void Fill(int column, int row, int count, std::uint8_t ch, std::uint8_t attr);
// Attribute bytes of a row segment written back, characters untouched; stops
// at the end of the row.
void WriteAttrs(int column, int row, std::string_view attrs);
// Characters or attributes of one row between two absolute columns inclusive;
// cells beyond the row read as blanks in attribute 0x07.
std::string ReadChars(int fromColumn, int toColumn, int row);
std::string ReadAttrs(int fromColumn, int toColumn, int row);
// One cell: character in the low byte, attribute in the high byte.
std::uint16_t CellAt(int column, int row);

// Copies a rectangle's cells into a buffer of width * height * 2 bytes
// (character, attribute per cell, row by row) and back. Parts off the
// screen are skipped.
void SaveRect(int x1, int y1, int x2, int y2, std::uint8_t* buffer);
void RestoreRect(int x1, int y1, int x2, int y2, const std::uint8_t* buffer);

// Blanks in TextAttr: the whole window, or from the cursor to the window's
// right edge.
void ClearWindow();
void ClearEol();

// ---- Pushing to the terminal -------------------------------------------------

// While held, changed cells are collected and pushed at the final release;
// holds nest. Only cells that differ from what the terminal shows are sent.
void HoldUpdates();
void ReleaseUpdates();
bool UpdatesHeld();
// Redraws every cell (after another program had the terminal).
void Repaint();

// ---- Keys ------------------------------------------------------------------

// True when an input event is waiting.
bool KeyPressed();
// Takes the next input event without blocking; false when none. A Ctrl+C
// that arrives as a key sets BreakFlag and is not delivered.
bool ReadKeyEvent(platform::Event& event);
// The one-byte key code of a key event: its character, or for a special key
// the code of its shift state and scan code; 0 when the suite has none.
std::uint8_t TranslateKey(const platform::KeyEvent& key);

// Set by the control handler on Ctrl+C; the program goes on.
bool BreakFlag();
void SetBreakFlag(bool on);

void Delay(int milliseconds);
void Beep();

// ---- Attribute transforms ----------------------------------------------------

constexpr std::uint8_t ClearBrightBlink(std::uint8_t a) { return a & 0x77; }
constexpr std::uint8_t SetBright(std::uint8_t a) { return a | 0x08; }
constexpr std::uint8_t SetBlink(std::uint8_t a) { return a | 0x80; }
// Foreground and background swapped, blink dropped.
constexpr std::uint8_t Inverse(std::uint8_t a) {
  return static_cast<std::uint8_t>(((a << 4) & 0x7F) | ((a >> 4) & 7));
}

// ---- Key codes -------------------------------------------------------------

namespace key {
inline constexpr std::uint8_t kEnter = 13, kEsc = 27, kTab = 9, kBackspace = 8;
inline constexpr std::uint8_t kF1 = 0xBB, kF10 = 0xC4;
inline constexpr std::uint8_t kHome = 0xC7, kUp = 0xC8, kPgUp = 0xC9, kLeft = 0xCB;
inline constexpr std::uint8_t kRight = 0xCD, kEnd = 0xCF, kDown = 0xD0, kPgDn = 0xD1;
inline constexpr std::uint8_t kIns = 0xD2, kDel = 0xD3, kShiftTab = 0x8F;
inline constexpr std::uint8_t kShiftF1 = 0xD4, kCtrlF1 = 0xDE, kAltF1 = 0x84;
inline constexpr std::uint8_t kShiftIns = 0xF2, kCtrlIns = 0xF1, kCtrlHome = 0xF7;
inline constexpr std::uint8_t kCtrlLeft = 0xF3, kCtrlRight = 0xF4, kCtrlPgDn = 0xF6;
inline constexpr std::uint8_t kAltUp = 0xF8, kAltDown = 0xF9, kAlt1 = 0xFA;
}  // namespace key

// A readable name of a key code ("F1", "Alt+Q", "Ctrl+Left", "á"...), in
// code page 852.
std::string KeyName(std::uint8_t code);

// ---- Process-wide state ----------------------------------------------------

struct ConsoleState {
  platform::Terminal* terminal = nullptr;
  int width = 80, height = 25;
  std::vector<std::uint16_t> cells;   // what the program drew
  std::vector<std::uint16_t> shown;   // what the terminal shows
  std::uint16_t windMin = 0, windMax = 0;
  int cursorX = 1, cursorY = 1;       // window-relative
  std::uint8_t textAttr = 0x07;
  Cursor cursor = Cursor::kNormal;
  int holdDepth = 0;
  int dirtyFrom = -1, dirtyTo = -1;   // cell index range not yet pushed
};
ConsoleState& State();

}  // namespace console
