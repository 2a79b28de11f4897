// The text UI toolkit: screen primitives and frames, the colour scheme, the
// one key and mouse reader of every widget (ReadEvent, WaitKey), framed
// windows on a window stack, the message and question box Ask, the key
// label bar and the pick list.
//
// Coordinates are 1-based. Window-relative positions count from the current
// text window's top-left corner (console::WindMin); absolute ones are screen
// positions. Texts are code page 852.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

// ---- Colour scheme -----------------------------------------------------------

// The colour roles, in table order.
enum Role : int {
  kRoleFixed = 0,          // kind 6, value 0
  kRoleFrame = 1,          // window frame
  kRoleTitle = 2,          // window title
  kRoleButton = 3,         // button label
  kRoleButtonHotkey = 4,   // button hotkey letter
  kRoleButtonShadow = 5,   // button shadow
  kRoleMessageBox = 6,     // message box body
  kRoleKeyBar = 7,         // key bar label
  kRoleKeyBarHotkey = 8,   // key bar hotkey letter
  kRoleList = 9,           // pick list body
  kRoleExtra1 = 10, kRoleExtra2 = 11, kRoleExtra3 = 12, kRoleExtra4 = 13,  // calendar, menus
  kRoleFixedBlink = 14,    // kind 6, value 0x80
  kRoleCount = 15,
};

struct ColourRole {
  std::uint32_t Kind;
  std::uint8_t Value;
};

// (background * 16 + foreground) with the blink bit cleared.
constexpr std::uint8_t MakeAttr(int background, int foreground) {
  return static_cast<std::uint8_t>((background * 16 + foreground) & 0x7F);
}
// The attribute of a role, derived from BaseAttr by the role's kind; a role
// outside the table gives BaseAttr.
std::uint8_t RoleAttr(int role);
std::uint8_t BaseAttr();
// Changing the base attribute recolours every widget drawn afterwards.
void SetBaseAttr(std::uint8_t attr);

// ---- Text output ---------------------------------------------------------------
//
// All writers hide the mouse cursor while they write and show it again
// afterwards if it was shown.

// The toolkit's output conversion: unchanged when the output-conversion mode
// is 50, otherwise converted by console::OutputText's table.
std::string OutputConversion(std::string_view text);
int OutputMode();
void SetOutputMode(int mode);

// Window-relative; the converted text is cut at the window's right edge.
void WriteAt(int column, int row, std::string_view text, std::uint8_t attr);
// Centred in the one-row rectangle x1..x2 at row (absolute); state kept.
void WriteCentered(int x1, int x2, int row, std::string_view text, std::uint8_t attr);
// Absolute; characters only, continuing on the next rows up to the screen's
// end. lastColumn is accepted for callers and not used.
void WriteCharsAt(int column, int lastColumn, int row, std::string_view text);
// Characters or attributes of one row between two absolute columns
// (inclusive; toColumn at most 80).
std::string ReadRowChars(int fromColumn, int toColumn, int row);
std::string ReadRowAttrs(int fromColumn, int toColumn, int row);
void WriteAttrsAt(int column, int lastColumn, int row, std::string_view attrs);
// Every row of the current window filled with ch in attr.
void FillWindow(std::uint8_t ch, std::uint8_t attr);
int WindowWidth();
int WindowHeight();
// WindowWidth * WindowHeight * 2 bytes.
int WindowBufferSize();
// The current window's cells into a buffer of WindowBufferSize bytes, and back.
void SaveWindow(std::vector<std::uint8_t>& buffer);
void RestoreWindow(const std::vector<std::uint8_t>& buffer);

// ---- Frames and shadows ----------------------------------------------------

// Eight characters: top-left, bottom-left, top-right, bottom-right, top line,
// bottom line, left side, right side. Styles 1..6; any other gives style 1.
std::string FrameChars(int style);
// The first style whose set equals chars; 1 when none does.
int FrameStyleOf(std::string_view chars);
// The last frame drawn.
std::string CurrentFrame();
// Frames the current window and shrinks it to its inside (cursor at 1,1).
// title: top title, optionally character 0 and a bottom title. Style 4
// (blanks) draws nothing but still shrinks.
void DrawFrame(std::string_view title, std::string_view frameChars, std::uint8_t titleAttr,
               std::uint8_t frameAttr);
// Undoes DrawFrame's shrink when the window has a free cell on every side.
void GrowWindow();
// Darkens the cells right of and below an absolute rectangle (bright bit
// cleared); skipped when the rectangle touches the right or bottom edge.
void DrawShadow(int x1, int y1, int x2, int y2);
// A run of single-line box characters about to be written at a
// window-relative position, joined to the lines above and below it.
std::string JoinLine(int column, int row, std::string_view text);
// Hold screen updates during a batch of drawing; EndDraw flushes.
void BeginDraw();
void EndDraw();

// ---- Cursor, mouse, output state --------------------------------------------

void CursorNormal();     // shape 1
void CursorHidden();     // shape 0
void CursorHalfBlock();  // shape 2 (insert mode)
// Sets the console cursor for a shape without recording it.
void ApplyCursorShape(int shape);
int CursorShape();

bool MousePresent();
bool MouseShown();
int MouseX();
int MouseY();
void InitMouse();
void ShowMouse();
void HideMouse();
void SetMousePos(int x, int y);

struct ScreenState {
  std::uint16_t WindMin = 0, WindMax = 0;
  std::uint8_t CursorX = 1, CursorY = 1;  // window-relative
  std::uint8_t TextAttr = 0x07;
  std::int16_t MouseX = 1, MouseY = 1;
  bool MouseVisible = false;
  std::uint16_t CursorShape = 1;
};
void SaveState(ScreenState& state);
void RestoreState(const ScreenState& state);

// The base rectangle of every widget (absolute), with the key a click on it
// stands for.
struct Region {
  int X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
  bool Inclusive = false;
  std::uint8_t Key = 0;
  virtual ~Region() = default;
};
// Mouse tests against MouseX/MouseY; all false while the mouse is hidden.
bool MouseIn(const Region& region);
bool MouseOutside(const Region& region);
bool MouseAtCorner(const Region& region);

// Time of day in hundredths of a second (the platform clock, injectable).
std::int64_t HundredthsOfDay();

// ---- Key and mouse input ------------------------------------------------------

namespace code {
inline constexpr std::uint8_t kLeftHeld = 1, kRightHeld = 2;
inline constexpr std::uint8_t kLeftDouble = 3, kRightDouble = 4;
inline constexpr std::uint8_t kLeftPress = 5, kRightPress = 6;
inline constexpr std::uint8_t kLeftRelease = 7, kRightRelease = 0xFF;
inline constexpr std::uint8_t kBreak = 0xF1, kPaste = 0xF2;
inline constexpr std::uint8_t kFontLarger = 0xF8, kFontSmaller = 0xF9;
}  // namespace code

// Reads at most one pending event without blocking (yields 1 ms when none
// waits); 0 when nothing happened. Keys as console key codes, mouse actions
// and services as the codes above; key bar clicks become the label's key;
// hotkey procedures run and their code becomes 0.
std::uint8_t ReadEvent();
// Loops until a non-zero code arrives, through the top window's reader when
// a window is open; runs the idle procedure between empty polls. With
// nobody at the console (console::ConsoleAttended false) an empty poll
// gives Esc: a batch job's question is never left waiting.
std::uint8_t WaitKey();
// True while the left button drags (set by ReadEvent).
bool Dragging();

// Typed-ahead keys, returned by ReadEvent before anything else.
void TypeAhead(std::string_view keys);

using HotkeyProc = std::function<void()>;
// Registers a global procedure for a special-key code (0x81..0xFF; lower
// codes are ignored) under an owner tag.
void SetHotkey(std::uint8_t owner, std::uint8_t code, HotkeyProc procedure);
// Removes every hotkey of an owner.
void ClearHotkeys(std::uint8_t owner);

// Called by WaitKey when no key came for `hundredths` (> 0); nullptr removes.
void SetIdle(std::function<void()> procedure, int hundredths);

// The font keys' action (Alt+Up +1, Alt+Down -1); the console's font control
// installs it. Without one the keys are consumed without effect.
void SetFontStepper(std::function<void(int)> stepper);

// ---- Windows -------------------------------------------------------------------

class Window;
// The newest open window, nullptr when none.
Window* TopWindow();

// A framed window that saves the screen under it and the output state, and
// puts both back when it closes. Windows nest on the window stack.
class Window : public Region {
 public:
  Window(int x1, int y1, int x2, int y2);
  ~Window() override;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  virtual void Draw();
  virtual void MoveTo(int column, int row);
  // The top window's key reader (WaitKey reads through it); like WaitKey,
  // Esc at once when nobody is at the console.
  virtual std::uint8_t GetKey();
  // "[■]" (state 0) or "[*]" (state 1) on the top border.
  void DrawCloseBox(std::uint8_t state, bool force);

  Window* Previous = nullptr;
  std::uint8_t FrameStyle = 2;
  std::string Title;
  std::uint8_t FrameAttr = 0, TitleAttr = 0, BodyAttr = 0;
  std::vector<std::uint8_t> Saved;  // the cells under the window, empty until drawn
  bool HasSaved = false;
  ScreenState SavedState;
  bool HScroll = false, VScroll = false;
  int HOffset = 0, VOffset = 0;
  bool Movable = true;
  std::uint8_t CloseBox = 1;
  bool ScrollPress = false;
  std::uint8_t VTrack = 0, HTrack = 0;
};

// ---- Messages and questions -------------------------------------------------

// The message and question box: lines separated by character 0 (or line
// feeds when there is no 0); buttons likewise, or the short forms "IN", "NI",
// "INS"; no buttons gives the single button "Tovább". Returns the chosen
// button's number (1-based), 0 for none.
int Ask(std::string_view text, std::string_view buttons);
// Ask with the first button marked as the default.
int AskDefault(std::string_view text, std::string_view buttons);
// Ask with a 10-second countdown that ends in Enter.
int AskTimed(std::string_view text, std::string_view buttons);
bool DefaultButtonMode();
void SetDefaultButtonMode(bool on);
void Beep();
void PlayNote(int octave, int note, int duration);
void FlushKeys();

// ---- Key label bar --------------------------------------------------------------

class KeyBar;
// The active bar, nullptr when none.
KeyBar* ActiveKeyBar();

class KeyLabel : public Region {
 public:
  KeyLabel(int column, int row, std::string_view text, std::uint8_t key, HotkeyProc procedure);
  void Draw(bool pressed);
  std::string Text;  // a blank, then the text with its hotkey between "~"
  HotkeyProc Procedure;
  int Width = 0;
  std::uint8_t Drawn = 0;  // 0 never drawn, 1 up, 2 pressed
};

// One screen row of clickable key labels; a click gives the label's key
// through ReadEvent.
class KeyBar : public Region {
 public:
  explicit KeyBar(int row);
  // Destroys the labels; when the bar is the active one, puts the row under
  // it back and leaves no bar active (another active bar stays active).
  ~KeyBar() override;
  KeyBar(const KeyBar&) = delete;
  KeyBar& operator=(const KeyBar&) = delete;

  void AddLabel(std::string_view text, std::uint8_t key, HotkeyProc procedure = nullptr);
  void Draw(bool full);
  // The first label under the shown mouse cursor, nullptr when none.
  KeyLabel* LabelAtMouse();
  // Spreads the labels between two columns: the first starts at fromColumn,
  // the last ends at toColumn, and the free columns are shared out evenly
  // between the gaps, one more to each of the leftmost gaps while the
  // remainder lasts. Labels wider than the span stay packed from fromColumn.
  // An active bar is redrawn in full.
  void Spread(int fromColumn, int toColumn);

  std::vector<std::unique_ptr<KeyLabel>> Labels;
  std::vector<bool> KeySet = std::vector<bool>(256, false);
  KeyLabel* Pressed = nullptr;
  const void* Hold = nullptr;
  std::vector<std::uint8_t> SavedUnder, SavedBar;
};

void ShowKeyBar(KeyBar* bar, bool fresh);
void HideKeyBar(bool restoreUnder);
void PushKeyBar(KeyBar*& saved);
void PopKeyBar(KeyBar* saved);

// ---- Pick list ------------------------------------------------------------------

// The data source of a pick list: op 0 start at item (or the first), 1 next,
// 2 previous, 3 position at item, 4 incremental search for SearchText().
// Returns the row text; sets item and atEnd.
using PickSource = std::function<std::string(int op, std::uint32_t& item, bool& atEnd)>;
// An external search form: true and an item when the user found one.
using PickSearch = std::function<bool(std::uint32_t& item)>;

// Runs a list on x1..y2; item in: the initial item (0: the first), out: the
// chosen item or 0 (Esc, or an empty list).
// PgDn with nothing after the page, and PgUp with nothing before it, leave
// the page as it is. PgUp with fewer than a page of items before the page
// shows the list from its first item, the highlight on the item the old page
// started with; with a full page before it the highlight keeps its row.
void PickList(int x1, int y1, int x2, int y2, std::string_view title, const PickSource& source,
              const PickSearch& searchDialog, std::uint32_t& item);
// "1": rows from their left end; "2": their right end.
char ViewMode();
void SetViewMode(char mode);
const std::string& SearchText();
// Called with the current item on F9 while enabled.
void SetF9Hook(std::function<void(std::uint32_t)> hook, bool enabled);

// ---- Line editor -----------------------------------------------------------------

// Edits text in place on one row of the current window: width cells from a
// window-relative column, scrolling sideways when text is longer; at most
// MaxLength characters. Left/Right/Home/End move, Backspace/Del delete, Ins
// switches insert and overwrite (the cursor shape shows which), Ctrl+Y
// empties the line; a character code that is not an editing key is typed
// (the console's special-key codes are not characters). The first key
// typed replaces the whole text when SelectAll is set. DigitsOnly accepts
// only digits, blank, '.', '-' and '+'. Enter, Esc, Tab, Shift+Tab, Up,
// Down, PgUp, PgDn and F10, and any code in ExitKeys, end the edit and are
// returned; on Esc text is as it came in.
struct LineEditOptions {
  int MaxLength = 255;
  bool SelectAll = false;
  bool DigitsOnly = false;
  std::string ExitKeys;
  std::uint8_t Attr = 0;  // 0: the inverse of the current text attribute
};
std::uint8_t EditLine(int column, int row, int width, std::string& text,
                      const LineEditOptions& options = {});

// ---- Process-wide state ---------------------------------------------------------

// Puts every toolkit global back to its start value (for tests).
void ResetToolkit();

}  // namespace ui
