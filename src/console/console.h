// The console driver: an in-memory buffer of screen cells copied to the
// terminal, the current text window with its cursor and text attribute, the
// suite's one-byte key codes, and Ctrl+C handling.
//
// Coordinates are 1-based. "Absolute" positions are screen positions;
// window-relative ones count from the text window's top-left corner.
// Text is code page 852.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/console_font.h"
#include "platform/terminal.h"

namespace console {

// The one way out of a program: thrown by EndProgram, caught by main, which
// restores the terminal and returns the code.
struct ProgramEnd {
  int Code;
};
[[noreturn]] void EndProgram(int code);
// The exit code of a program whose console cannot be opened (no terminal,
// TERM unset or unknown, a terminal too old): the reason goes to the
// standard error first.
inline constexpr int kExitNoConsole = 1;
// Writes the report of a fatal end (code page 852 lines, each ending in
// "\n") to the standard output: through the open console's terminal, which
// keeps it readable and visible after the end (platform::Terminal::
// WriteReport); without a console, the bytes as they are.
void WriteFatalReport(std::string_view report);

// ---- Start and end -------------------------------------------------------

// Takes the terminal over: screen size, text attribute, text window = whole
// screen, control handler installed. Without a console it writes a one-line
// reason to standard error and ends the program with exit code 1.
void OpenConsole(platform::Terminal& terminal);
// The exit code of a program whose console went away under it (noticed by
// KeyPressed and ReadKeyEvent, which then write a one-line reason to
// standard error and end the program).
inline constexpr int kConsoleLostCode = platform::kTerminalLostExitCode;
// Restores the terminal; the console is unusable until opened again.
void CloseConsole();
bool ConsoleOpen();
// True when the console is open and somebody is at it to answer (see
// platform::Terminal::Attended).
bool ConsoleAttended();
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
inline constexpr std::uint8_t kF1 = 0xBB, kF7 = 0xC1, kF10 = 0xC4;
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
  platform::Terminal* Terminal = nullptr;
  int Width = 80, Height = 25;
  std::vector<std::uint16_t> Cells;   // what the program drew
  std::vector<std::uint16_t> Shown;   // what the terminal shows
  std::uint16_t WindMin = 0, WindMax = 0;
  int CursorX = 1, CursorY = 1;       // window-relative
  std::uint8_t TextAttr = 0x07;
  Cursor CursorShape = Cursor::kNormal;
  int HoldDepth = 0;
  int DirtyFrom = -1, DirtyTo = -1;   // cell index range not yet pushed
};
ConsoleState& State();

// =============================================================================
// Console window, font and settings stores
//
// The suite's console and user settings: the numbered settings stores, the
// console font values kept in the registry, the suite's installation values
// in the registry, the output conversion of texts, and the font control that
// fits an 80 x 25 window to the screen and lets the user grow or shrink it
// with Alt+Up and Alt+Down. All of it is process-wide (SettingsState).
// =============================================================================

// ---- Code page mode and output -------------------------------------------------

// 50: the screen shows code page 852 and texts go to it unchanged (the mode
// every program sets at start).
int CodePageMode();
void SetCodePageMode(int mode);

// A text as it goes to the screen: unchanged in mode 50. In any other mode
// the screen is taken to show the legacy Hungarian DOS encoding (code page
// 437 with the Hungarian letters at some of its accented positions), so the
// 18 Hungarian vowels are converted to it (text::Cp852ToLegacyFull).
std::string OutputText(std::string_view text);

// ---- User and machine -----------------------------------------------------------

// The logged-in user of the suite; empty at start. It prefixes the console
// font's registry value names and names the user's own settings file; a new
// name takes effect for that file at the next SetStorePaths.
const std::string& UserName();
void SetUserName(std::string_view name);
// The machine's name, read at SettingsStartup (empty when the system fails).
const std::string& ComputerName();

// The settings' start: ComputerName read, UserName emptied, store paths set.
void SettingsStartup();

// ---- Settings stores ------------------------------------------------------------
//
// Store 1: program folder + "\prog.res"; store 2: program folder + "\user" +
// the first 4 characters of UserName + ".res"; store 3: "adat.res" in the
// current folder; store 4: no file, three lines built from the registry
// ("*cmdwindow", "font=" + face, "fontsize=" + height).
//
// A file store is text lines. A line starting with "*" opens a section named
// by the rest of the line; any other line with a "=" is an entry key=value
// (key before the first "="). Lines outside a section, blank lines and lines
// without "=" are kept but never match. Section names match without regard
// to letter case (Hungarian letters included); keys match exactly.
//
// Lines end in LF or CR LF (a lone CR belongs to the text); the last line may
// have no ending. Each line keeps its own ending when the file is written
// back, so a file that was only read comes back byte for byte. A new line
// takes the ending of the file's first line that has one (CR LF when none
// has), and a last line without an ending gets that ending when a line is
// added after it.
//
// Line numbers are 0-based. Store numbers outside 1-4 are ignored (-1, false).

inline constexpr int kProgramStore = 1, kUserStore = 2, kDataStore = 3, kConsoleStore = 4;

// Sets the paths of stores 1-3 from the program folder and UserName.
void SetStorePaths();
const std::string& StorePath(int n);

// Loads store n once (a loaded store is left as it is). Store 4 is built
// from the registry (ReadConsoleFont). A missing store file is first created
// with the one line "User" + UserName. A file that cannot be created or read
// ends the program (EndProgram) with the system's error number, as the
// run-time I/O error handler does.
void OpenStore(int n);
bool StoreLoaded(int n);

// The value of the first entry key in section "*" + section of store n, and
// its line number; -1 (value empty) when the store is not loaded, the section
// does not exist or the key is not in it. Values are cut to 255 bytes.
int ReadSetting(int n, std::string_view section, std::string_view key, std::string& value);

// Sets key=value in the section: the entry's line is replaced when it
// exists; otherwise a new line goes at the end of the section (before the
// next section line), and a missing section is appended at the end of the
// store with the entry. False (nothing changed) when the store is not loaded.
bool WriteSetting(int n, std::string_view section, std::string_view key, std::string_view value);

// Line number of "*" + section in store n, or -1.
int FindSection(int n, std::string_view section);

// Writes store n back: stores 1-3 to their files, store 4 through
// SaveConsoleFont. False when the store is not loaded (nothing is written,
// so an unread file is never emptied) or the write failed.
bool SaveStore(int n);

// Releases the lines of store n; it is no longer loaded.
void CloseStore(int n);

// ---- Console font in the registry -------------------------------------------------
//
// Under HKEY_CURRENT_USER "\Software\Tormex\Console\": prefix + "FontSize21"
// (32 bits: the height in pixels in the high 16 bits) and prefix +
// "FaceName", where prefix is UserName + "_", or nothing when UserName is
// empty. The default face is "Lucida Console".

// The height stored, and the face into face; 0 and an empty face when the
// key or a value is missing (the key is never created here).
int ReadConsoleFont(std::string& face);
// Stores the height, and the face when it is not empty, creating the key
// when missing; false when the key could not be opened or a write failed.
bool WriteConsoleFont(int height, std::string_view face);
// Puts the font in use into store 4's "font" and "fontsize", reads both back
// and writes them to the registry (a height of 0 or a missing size writes the
// smallest usable height; a missing face writes none). False when store 4 is
// not loaded or the registry write failed.
bool SaveConsoleFont();
// The platform's own console default height: HKEY_CURRENT_USER "\Console\"
// value "FontSize" divided by 65536; 0 when missing.
int SystemConsoleFontHeight();

// ---- The suite's installation in the registry ------------------------------------

// HKEY_CURRENT_USER "\Software\" + product + "\" (a leading "\" of product
// dropped), value "SetupPath"; empty when missing.
std::string GetSetupPath(std::string_view product);
// Adds path to that value's ";"-separated list unless a field of it equals
// path exactly; creates the key with the value path when the key is missing.
// Always true.
bool AddSetupPath(std::string_view product, std::string_view path);
// Lets compiled help files open from path: in HKEY_LOCAL_MACHINE
// "\SOFTWARE\Microsoft\HTMLHelp\1.x\HHRestrictions" and "...\ItssRestrictions"
// (never created here), value "UrlAllowList" gets path in front ("path;" +
// list, or "path;file://;" for an empty list) unless a field of the list
// equals path. A path containing "c:" or "C:" needs no permission: nothing
// is done. True when path is in both lists afterwards (or needs none); false
// when a key is missing or a write failed.
bool AllowHelpPath(std::string_view path);

// ---- Stopwatch ----------------------------------------------------------------------

struct StopwatchMark {
  std::uint16_t Hours = 0, Minutes = 0, Seconds = 0, Hundredths = 0;
};
// Marks the time of day (the library's clock, platform::CurrentClock).
void StopwatchStart(StopwatchMark& mark);
// Hundredths of a second since the mark, as the difference of the two times
// of day: across midnight it is negative (it does not wrap).
long StopwatchElapsed(const StopwatchMark& mark);

// ---- Font control ---------------------------------------------------------------------
//
// Every operation here does nothing (false) unless the font control is ready.

// The console's font control (not owned); nullptr for none. Makes it not ready.
void SetFontControl(platform::ConsoleFontControl* control);
// FontControlReady := whether the control could be loaded (system version 6
// or later with the seven entry points found).
bool LoadFontControl();
bool FontControlReady();
// Applies face (at most 31 characters used) and height; the platform's result.
bool SetConsoleFont(std::string_view face, int height);

// Sets the font so that an 80 x 25 window fits the screen and makes the
// screen buffer 80 x 25. requested (16 bits) is the height wanted, 0 or less
// meaning none. The largest height that fits becomes the largest usable
// height; the console then shows requested when it fits, else that largest
// height, or one step below it without a request. The title becomes title
// (or the console's original title when empty) + 10 blanks + "Ablakméret:
// Alt+Up Alt+Down", and the window is centred. The search for the largest
// height stops at the smallest usable height and at kLargestFontHeight, so a
// console whose largest window does not follow the font cannot keep it going.
inline constexpr int kLargestFontHeight = 160;
void FitConsole(int requested, std::string_view title);

// Alt+Up (+1) or Alt+Down (-1): one height step within the smallest and
// largest usable heights, applied and saved through SaveStore(4) (so to the
// registry). At a bound, or when the font could not be applied, nothing
// changes.
void StepFont(int direction);

// Moves the console window, its size unchanged, to the centre of the
// desktop's work area (halves rounded towards zero).
void CentreConsoleWindow();

// The font control's start, once per program (a second call does nothing
// until ConsoleShutdown): loads the control; when ready, remembers the
// console's font, modes and buffer, opens store 4, sets the buffer to
// 80 x 25 with quick-edit off, fits the font to the stored height (one below
// the smallest usable height counts as none), records the 80 x 25 screen in
// the console driver and centres the window.
void ConsoleStartup();
// Its end: closes store 4, puts back the remembered font, modes and buffer
// and releases the control's libraries.
void ConsoleShutdown();

// ---- Settings state ------------------------------------------------------------------

struct StoreLine {
  std::string Text;
  std::string Ending;  // "\r\n", "\n" or "" (a last line without one)
};

struct SettingsStore {
  std::string Path;
  bool Loaded = false;
  std::vector<StoreLine> Lines;
};

struct FontState {
  platform::ConsoleFontControl* Control = nullptr;
  bool Ready = false;    // FontControlReady
  bool Started = false;  // ConsoleStartup ran
  int Height = 0;        // in use
  int Smallest = 14;     // smallest usable height
  int Largest = 0;       // largest usable height, found by FitConsole
  std::string Face;      // face name in use; empty until set
};

struct SettingsState {
  int CodePageMode = 0;
  std::string UserName, ComputerName;
  std::array<SettingsStore, 4> Stores;  // stores 1-4 at index 0-3
  FontState Font;
};
SettingsState& Settings();

}  // namespace console
