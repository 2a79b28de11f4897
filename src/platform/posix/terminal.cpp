// The POSIX terminal: ncursesw on the terminal the program was started in.
//
// The scheme, so that the library sees a Windows console:
// - Screen: always 80 x 25 cells at the top left of the terminal. The cells
//   are kept here too, so that a resize redraws them; a terminal smaller than
//   that shows what fits plus a one-line request (on its last line) to
//   enlarge it, and the program goes on.
// - Cells: code page 852 bytes are shown as Unicode through the console's
//   glyph table (0x01-0x1F are the PC symbols); attributes become colour
//   pairs (curses_map.h).
// - Keys: raw mode, so Ctrl+C arrives as byte 3 and goes to the control
//   handler. Special keys come through terminfo (keypad) by curses' key names;
//   Alt+key arrives as ESC followed by the key within ESCDELAY (25 ms); a lone
//   ESC is Esc, and ESC ESC is Esc twice. Typed Unicode becomes code page 852; characters the code page
//   lacks are dropped.
// - Mouse: xterm SGR reporting (mode 1006) with button-motion tracking (mode
//   1002); curses decodes it when the terminfo's kmous is "\E[<". Clicks are
//   kept raw (mouseinterval 0): presses, releases and moves.
// - SIGINT (kill -INT) also reaches the control handler as Ctrl+C; SIGHUP and
//   SIGTERM keep their default action. A terminal that hangs up while SIGHUP
//   is ignored is reported as lost.
#define NCURSES_WIDECHAR 1
#include <curses.h>
#include <langinfo.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "platform/codepage.h"
#include "platform/posix/curses_map.h"
#include "platform/terminal.h"

namespace platform {
namespace {

constexpr int kCols = 80, kRows = 25;
constexpr int kEscDelayMs = 25;
constexpr char kMouseOn[] = "\x1b[?1002h\x1b[?1006h";
constexpr char kMouseOff[] = "\x1b[?1002l\x1b[?1006l";

// The control handler, reachable from the SIGINT handler, and the SIGINT
// action it replaced (curses' own, which restores the terminal and ends).
std::atomic<ControlHandler> g_handler{nullptr};
struct sigaction g_oldSigint {};
std::atomic<bool> g_sigintInstalled{false};

// Async-signal-safe as long as the control handler only sets a flag.
void OnSigint(int) {
  ControlHandler handler = g_handler.load();
  if (handler && handler(ControlEvent::kCtrlC)) return;
  sigaction(SIGINT, &g_oldSigint, nullptr);  // unhandled: the action before ours
  g_sigintInstalled = false;
  raise(SIGINT);
}

// curses needs a UTF-8 character type to read and show Unicode; only
// LC_CTYPE is changed so that number formatting stays the C locale's.
void UseUtf8Locale() {
  std::setlocale(LC_CTYPE, "");
  if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) std::setlocale(LC_CTYPE, "C.UTF-8");
}

class CursesTerminal final : public Terminal {
 public:
  ~CursesTerminal() override { Close(); }

  bool Open(std::string& reason) override;
  void Close() override;
  bool Lost(std::string& reason) const override;
  int Width() const override { return kCols; }
  int Height() const override { return kRows; }
  void WriteCells(int x, int y, const Cell* cells, int count) override;
  void Flush() override;
  void SetCursor(int x, int y) override;
  void SetCursorShape(CursorShape shape) override;
  bool EventWaiting() override;
  bool NextEvent(Event& event) override;
  bool PeekEvent(Event& event) override;
  void SetControlHandler(ControlHandler handler) override;
  int MouseButtons() const override { return mouseButtons_; }
  void Beep() override { beep(); }
  void WriteReport(std::string_view report) override;

 private:
  bool Attach(std::string& reason);
  void SetUpColours();
  void SetUpMouse();
  void WriteRaw(const char* sequence);
  bool Visible(int x, int y) const { return x < COLS && y < LINES; }
  void DrawCell(int x, int y);
  void DrawSizeNotice();
  void Redraw();
  void Poll();
  void TakeEscape();
  void TakeInput(int kind, wint_t wc, std::uint32_t extraShift);
  void TakeCtrlC();
  void TakeMouse();
  void PushMouse(const MEVENT& m, std::uint32_t buttons);
  void PushKey(const KeyEvent& key);

  SCREEN* screen_ = nullptr;
  FILE* tty_ = nullptr;  // /dev/tty, when standard input or output is not one
  int inFd_ = -1, outFd_ = -1;
  bool lost_ = false;  // the terminal hung up
  bool colours_ = false, sixteen_ = false;
  int mouseButtons_ = 0;
  std::array<Cell, kCols * kRows> cells_{};
  int cursorX_ = 0, cursorY_ = 0;
  CursorShape shape_ = CursorShape::kNormal;
  std::deque<Event> queue_;
  std::uint32_t buttons_ = 0;
  int mouseX_ = -1, mouseY_ = -1;
  std::string report_;  // fatal reports, written again once the terminal is given back
};

// True when the terminal's description can put the cursor on any cell and
// clear the screen: what drawing the screen needs.
bool CanAddressCells() {
  for (const char* capability : {"cup", "clear"}) {
    char* value = tigetstr(const_cast<char*>(capability));
    if (value == nullptr || value == reinterpret_cast<char*>(-1)) return false;
  }
  return true;
}

// Takes stdin/stdout when both are a terminal, else /dev/tty.
bool CursesTerminal::Attach(std::string& reason) {
  FILE* in = stdin;
  FILE* out = stdout;
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
    tty_ = std::fopen("/dev/tty", "r+");
    if (!tty_) {
      reason = "Nincs konzol: a program csak terminálban futtatható."_cp;
      return false;
    }
    in = out = tty_;
  }
  screen_ = newterm(nullptr, out, in);
  if (!screen_) {
    const char* term = std::getenv("TERM");
    reason = std::string("Ismeretlen terminál (TERM="_cp) + (term ? term : "") + ").";
    if (tty_) std::fclose(tty_);
    tty_ = nullptr;
    return false;
  }
  set_term(screen_);
  if (!CanAddressCells()) {  // a "dumb" terminal would show one line, blind
    const char* term = std::getenv("TERM");
    reason = std::string("Alkalmatlan terminál (TERM="_cp) + (term ? term : "") +
             std::string("): nem tudja a kurzort a képernyön mozgatni."_cp);
    endwin();
    delscreen(screen_);
    screen_ = nullptr;
    if (tty_) std::fclose(tty_);
    tty_ = nullptr;
    return false;
  }
  inFd_ = fileno(in);
  outFd_ = fileno(out);
  lost_ = false;
  return true;
}

// Home and End arrive in more forms than one terminfo entry names: tmux and
// the VT220 family send ESC [1~ / ESC [4~ (or 7~ / 8~) whatever TERM says,
// xterm ESC [H / ESC [F or ESC O H / ESC O F. All of them are Home and End.
void DefineHomeAndEnd() {
  for (const char* home : {"\x1b[1~", "\x1b[7~", "\x1b[H", "\x1bOH"}) define_key(home, KEY_HOME);
  for (const char* end : {"\x1b[4~", "\x1b[8~", "\x1b[F", "\x1bOF"}) define_key(end, KEY_END);
}

bool CursesTerminal::Open(std::string& reason) {
  if (screen_) return true;
  UseUtf8Locale();
  if (!Attach(reason)) return false;
  set_escdelay(kEscDelayMs);
  raw();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  DefineHomeAndEnd();
  nodelay(stdscr, TRUE);
  // No meta(): it would switch xterm to sending Alt+key as the key with its
  // eighth bit set ("á" for Alt+a); 8-bit UTF-8 input works without it.
  SetUpColours();
  cells_.fill(Cell{});
  cursorX_ = cursorY_ = 0;
  SetCursorShape(CursorShape::kNormal);
  Redraw();
  SetUpMouse();
  return true;
}

void CursesTerminal::SetUpColours() {
  colours_ = has_colors();
  if (!colours_) return;
  start_color();
  sixteen_ = COLORS >= 16 && COLOR_PAIRS >= posix::PairsNeeded(true);
  if (!sixteen_ && COLOR_PAIRS < posix::PairsNeeded(false)) {
    colours_ = false;
    return;
  }
  for (int attr = 0; attr < 256; ++attr) {
    posix::Look look = posix::LookOfAttr(static_cast<std::uint8_t>(attr), sixteen_);
    init_pair(look.Pair, look.Fg, look.Bg);
  }
}

// Mouse reporting goes on after the first refresh, so that curses' own mode
// string (sent when the mask is set) cannot follow and override ours.
void CursesTerminal::SetUpMouse() {
  mmask_t got = mousemask(ALL_MOUSE_EVENTS | REPORT_MOUSE_POSITION, nullptr);
  mouseinterval(0);
  mouseButtons_ = got ? 2 : 0;
  if (!mouseButtons_) return;
  doupdate();
  WriteRaw(kMouseOn);
}

void CursesTerminal::WriteRaw(const char* sequence) {
  std::size_t left = std::strlen(sequence);
  while (left > 0) {
    ssize_t n = write(outFd_, sequence, left);
    if (n <= 0) return;
    sequence += n;
    left -= static_cast<std::size_t>(n);
  }
}

void CursesTerminal::Close() {
  if (!screen_) return;
  SetControlHandler(nullptr);
  if (mouseButtons_) mousemask(0, nullptr);
  curs_set(1);
  endwin();
  if (mouseButtons_) WriteRaw(kMouseOff);
  delscreen(screen_);
  screen_ = nullptr;
  if (tty_) std::fclose(tty_);
  tty_ = nullptr;
  if (!report_.empty()) {
    std::fputs(Cp852ToUtf8(report_).c_str(), stderr);
    std::fflush(stderr);
    report_.clear();
  }
  queue_.clear();
  buttons_ = 0;
  mouseX_ = mouseY_ = -1;
}

// ---- Output ------------------------------------------------------------------

// On the terminal in raw mode a line feed only moves down: each line ends
// in a carriage return too, after the rest of the row is cleared.
void CursesTerminal::WriteReport(std::string_view report) {
  report_ += report;
  if (!screen_ || tty_ || !isatty(STDOUT_FILENO)) return Terminal::WriteReport(report);
  const char* clear = tigetstr("el");
  std::string eol = (clear && clear != reinterpret_cast<char*>(-1) ? std::string(clear) : "") + "\r\n";
  std::string shown;
  for (char c : Cp852ToUtf8(report)) {
    if (c == '\n') shown += eol;
    else shown += c;
  }
  std::fflush(stdout);
  WriteRaw(shown.c_str());
}

void CursesTerminal::DrawCell(int x, int y) {
  const Cell& cell = cells_[y * kCols + x];
  posix::Look look = posix::LookOfAttr(cell.Attr, sixteen_);
  attr_t attrs = A_NORMAL;
  short pair = 0;
  if (colours_) {
    pair = look.Pair;
    if (look.Bold) attrs |= A_BOLD;
    if (look.Blink) attrs |= A_BLINK;
  } else if (cell.Attr & 0x70) {
    attrs |= A_REVERSE;  // no colours: a coloured background shows inverse
  }
  wchar_t text[2] = {static_cast<wchar_t>(Cp852ToUnicode(cell.Ch)), 0};
  cchar_t shown;
  setcchar(&shown, text, attrs, pair, nullptr);
  mvwadd_wch(stdscr, y, x, &shown);
}

void CursesTerminal::WriteCells(int x, int y, const Cell* cells, int count) {
  if (!screen_ || y < 0 || y >= kRows) return;
  for (int i = 0; i < count; ++i) {
    int cx = x + i;
    if (cx < 0 || cx >= kCols) continue;
    cells_[y * kCols + cx] = cells[i];
    if (Visible(cx, y)) DrawCell(cx, y);
  }
}

// The request to enlarge a terminal smaller than the screen, on its last line.
void CursesTerminal::DrawSizeNotice() {
  if (COLS >= kCols && LINES >= kRows) return;
  std::string text = Cp852ToUtf8(
      " Nagyítsa a terminált legalább 80 × 25 méretűre! "_cp);
  wattr_set(stdscr, A_REVERSE, 0, nullptr);
  mvwaddnstr(stdscr, LINES - 1, 0, text.c_str(), -1);
  wclrtoeol(stdscr);
  wattr_set(stdscr, A_NORMAL, 0, nullptr);
}

void CursesTerminal::Redraw() {
  werase(stdscr);
  for (int y = 0; y < kRows && y < LINES; ++y)
    for (int x = 0; x < kCols && x < COLS; ++x) DrawCell(x, y);
  Flush();
}

void CursesTerminal::Flush() {
  if (!screen_) return;
  DrawSizeNotice();
  bool cursorShown = shape_ != CursorShape::kHidden && Visible(cursorX_, cursorY_);
  curs_set(cursorShown ? (shape_ == CursorShape::kHalfBlock ? 2 : 1) : 0);
  if (cursorShown) wmove(stdscr, cursorY_, cursorX_);
  wnoutrefresh(stdscr);
  doupdate();
}

void CursesTerminal::SetCursor(int x, int y) {
  cursorX_ = x;
  cursorY_ = y;
}

void CursesTerminal::SetCursorShape(CursorShape shape) { shape_ = shape; }

// ---- Input -------------------------------------------------------------------

bool CursesTerminal::EventWaiting() {
  Poll();
  return !queue_.empty();
}

bool CursesTerminal::NextEvent(Event& event) {
  if (!PeekEvent(event)) return false;
  queue_.pop_front();
  return true;
}

bool CursesTerminal::PeekEvent(Event& event) {
  Poll();
  if (queue_.empty()) return false;
  event = queue_.front();
  return true;
}

// Reads everything the terminal has sent so far into the queue; notes a
// terminal that has hung up.
void CursesTerminal::Poll() {
  if (!screen_ || lost_) return;
  wint_t wc;
  int kind;
  while ((kind = wget_wch(stdscr, &wc)) != ERR) {
    if (kind == OK && wc == 27)
      TakeEscape();
    else
      TakeInput(kind, wc, 0);
  }
  pollfd input{inFd_, POLLIN, 0};
  lost_ = poll(&input, 1, 0) > 0 && (input.revents & (POLLHUP | POLLERR | POLLNVAL));
}

bool CursesTerminal::Lost(std::string& reason) const {
  if (lost_) reason = "A terminál megszűnt, a program leáll."_cp;
  return lost_;
}

// ESC: curses has already waited ESCDELAY for a key sequence, so whatever
// follows at once was sent with it: ESC + key is Alt+key. ESC ESC is two Esc.
void CursesTerminal::TakeEscape() {
  wint_t next;
  int kind = wget_wch(stdscr, &next);
  if (kind == OK && next == 27) unget_wch(27);
  if (kind == ERR || (kind == OK && next == 27)) {
    PushKey({scan::kEsc, 27, 0});
    return;
  }
  TakeInput(kind, next, kLeftAlt);
}

void CursesTerminal::TakeInput(int kind, wint_t wc, std::uint32_t extraShift) {
  KeyEvent key;
  if (kind == OK) {
    if (wc == 3 && !extraShift) return TakeCtrlC();
    if (!posix::KeyOfChar(static_cast<char32_t>(wc), key)) return;
  } else if (wc == KEY_MOUSE) {
    return TakeMouse();
  } else if (wc == KEY_RESIZE) {
    Redraw();
    Event event;
    event.Kind = EventKind::kResize;
    queue_.push_back(event);
    return;
  } else {
    const char* name = keyname(static_cast<int>(wc));
    if (!name || !posix::KeyOfName(name, key)) return;
  }
  if (extraShift) key = posix::WithAlt(key);
  PushKey(key);
}

// Ctrl+C goes to the control handler; unhandled, it is delivered as a key.
void CursesTerminal::TakeCtrlC() {
  ControlHandler handler = g_handler.load();
  if (handler && handler(ControlEvent::kCtrlC)) return;
  KeyEvent key;
  posix::KeyOfChar(3, key);
  PushKey(key);
}

// How many clicks of one button curses merged into an event: it joins a
// press and a release that arrive together into a click (two of each into a
// double click...), even with no click interval.
int MergedClicks(mmask_t state, mmask_t once, mmask_t twice, mmask_t thrice) {
  return (state & thrice) ? 3 : (state & twice) ? 2 : (state & once) ? 1 : 0;
}

// Buttons are tracked from presses and releases; a merged click is given as
// the presses and releases it was made of.
void CursesTerminal::TakeMouse() {
  MEVENT m;
  if (getmouse(&m) != OK) return;
  int left = MergedClicks(m.bstate, BUTTON1_CLICKED, BUTTON1_DOUBLE_CLICKED, BUTTON1_TRIPLE_CLICKED);
  int right = MergedClicks(m.bstate, BUTTON3_CLICKED, BUTTON3_DOUBLE_CLICKED, BUTTON3_TRIPLE_CLICKED);
  for (int i = 0; i < left; ++i) {
    PushMouse(m, buttons_ | 1);
    PushMouse(m, buttons_ & ~1u);
  }
  for (int i = 0; i < right; ++i) {
    PushMouse(m, buttons_ | 2);
    PushMouse(m, buttons_ & ~2u);
  }
  std::uint32_t buttons = buttons_;
  if (m.bstate & BUTTON1_PRESSED) buttons |= 1;
  if (m.bstate & BUTTON1_RELEASED) buttons &= ~1u;
  if (m.bstate & BUTTON3_PRESSED) buttons |= 2;
  if (m.bstate & BUTTON3_RELEASED) buttons &= ~2u;
  PushMouse(m, buttons);
}

// An event for the buttons held at m's place; one that changes neither the
// buttons nor the position (a wheel turn) is dropped.
void CursesTerminal::PushMouse(const MEVENT& m, std::uint32_t buttons) {
  bool moved = (m.bstate & REPORT_MOUSE_POSITION) && (m.x != mouseX_ || m.y != mouseY_);
  if (buttons == buttons_ && !moved) return;
  buttons_ = buttons;
  mouseX_ = m.x;
  mouseY_ = m.y;
  Event event;
  event.Kind = EventKind::kMouse;
  event.Mouse.X = m.x;
  event.Mouse.Y = m.y;
  event.Mouse.Buttons = buttons;
  event.Mouse.Moved = moved;
  if (m.bstate & BUTTON_SHIFT) event.Mouse.Shift |= kShift;
  if (m.bstate & BUTTON_CTRL) event.Mouse.Shift |= kLeftCtrl;
  if (m.bstate & BUTTON_ALT) event.Mouse.Shift |= kLeftAlt;
  queue_.push_back(event);
}

void CursesTerminal::PushKey(const KeyEvent& key) {
  Event event;
  event.Kind = EventKind::kKey;
  event.Key = key;
  queue_.push_back(event);
}

void CursesTerminal::SetControlHandler(ControlHandler handler) {
  g_handler = handler;
  if (handler && !g_sigintInstalled) {
    struct sigaction action {};
    action.sa_handler = OnSigint;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &g_oldSigint);
    g_sigintInstalled = true;
  } else if (!handler && g_sigintInstalled) {
    sigaction(SIGINT, &g_oldSigint, nullptr);
    g_sigintInstalled = false;
  }
}

}  // namespace

std::unique_ptr<Terminal> MakeNativeTerminal() { return std::make_unique<CursesTerminal>(); }

bool StandardStreamsOnConsole() { return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO); }

}  // namespace platform
