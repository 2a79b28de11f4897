// The message and question box Ask, its default-button and countdown
// variants, beeps and the keyboard flush.
#include <algorithm>
#include <cmath>

#include "console/console.h"
#include "platform/codepage.h"
#include "text/text.h"
#include "ui/state.h"

namespace ui {
namespace {

using namespace platform::literals;

constexpr std::size_t kMaxLabel = 30;
constexpr char kShadowBelow = "▀"_cp[0];  // under an up button
constexpr char kShadowRight = "▄"_cp[0];  // right of an up button
constexpr int kButtonGap = 3;          // columns between two buttons
constexpr int kCountdownSeconds = 10;
constexpr int kCountdownTickMs = 100;
constexpr std::uint8_t kUp = 1, kPressed = 2;  // a button's drawn looks

// The upper-case form of a key (Hungarian letters too); other codes stay.
std::uint8_t UpperKey(std::uint8_t key) {
  if (key == 0) return 0;
  return static_cast<std::uint8_t>(text::UpperCaseText(std::string(1, static_cast<char>(key)))[0]);
}

// "0"-"9", "A"-"Z", "a"-"z" and the accented letters of code page 852.
bool IsLetterOrDigit(std::uint8_t c) {
  if (c < 0x80) return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  char16_t u = platform::Cp852ToUnicode(c);
  return u >= 0xC0 && u <= 0x24F && u != 0xD7 && u != 0xF7;
}

// Lines separated by character 0, or by line feeds when the text holds no 0.
// At least one line; a trailing separator adds no empty line.
std::vector<std::string> SplitLines(std::string_view s) {
  char separator = s.find('\0') != std::string_view::npos ? '\0' : '\n';
  std::vector<std::string> lines;
  std::size_t from = 0;
  do {
    std::size_t end = std::min(s.find(separator, from), s.size());
    lines.emplace_back(s.substr(from, end - from));
    from = end + 1;
  } while (from < s.size());
  return lines;
}

// "IN", "NI" and "INS" stand for "Igen"/"Nem", "Nem"/"Igen" and
// "Igen"/"Nem"/Esc + "ESC".
std::string ExpandShortForm(std::string_view buttons) {
  const std::string yes = "Igen", no = "Nem";
  if (buttons == "IN") return yes + '\0' + no;
  if (buttons == "NI") return no + '\0' + yes;
  if (buttons == "INS") return yes + '\0' + no + '\0' + static_cast<char>(console::key::kEsc) + "ESC";
  return std::string(buttons);
}

struct Button : Region {
  std::string Label;       // the hotkey letter, if any, between two "~"
  int Width = 0;           // display width, the same for every button
  std::uint8_t Drawn = 0;  // 0 never drawn, kUp, kPressed
};

// A button from a given label: a first character that is not a letter or
// digit is the hotkey and leaves the label; else the letter after the first
// "~"; else the first letter, which gets marked with "~".
Button MakeButton(std::string_view given) {
  Button b;
  std::string label(given.substr(0, kMaxLabel));
  auto first = static_cast<std::uint8_t>(label[0]);
  std::size_t tilde = label.find('~');
  if (!IsLetterOrDigit(first)) {
    b.Key = first;
    label.erase(0, 1);
  } else if (tilde != std::string::npos) {
    b.Key = tilde + 1 < label.size() ? UpperKey(static_cast<std::uint8_t>(label[tilde + 1])) : 0;
  } else {
    b.Key = UpperKey(first);
    label.insert(1, 1, '~');
    label.insert(0, 1, '~');
  }
  b.Label = label.substr(0, kMaxLabel);
  b.Inclusive = true;
  return b;
}

// Draws a button up or pressed, only when its look changes. Up: the label
// at (x1, y1) with the marked letter in the hotkey colour, ▀ below from
// x1 + 1 and ▄ right of it. Pressed: the label one column right, blanks
// where the shadows were.
void DrawButton(Button& b, std::uint8_t look, std::uint8_t bodyAttr) {
  if (b.Drawn == look) return;
  b.Drawn = look;
  std::string shown;
  std::size_t hot = std::string::npos;
  for (char c : b.Label) {
    if (c != '~') shown += c;
    else if (hot == std::string::npos) hot = shown.size();
  }
  shown = OutputConversion(shown);
  shown.resize(static_cast<std::size_t>(b.Width), ' ');
  std::uint8_t shadow = RoleAttr(kRoleButtonShadow);
  int x = b.X1 + (look == kPressed ? 1 : 0);
  MouseCursorHidden hidden;
  BeginDraw();
  console::WriteString(x, b.Y1, shown, RoleAttr(kRoleButton));
  if (hot < shown.size())
    console::WriteString(x + static_cast<int>(hot), b.Y1, shown.substr(hot, 1),
                         RoleAttr(kRoleButtonHotkey));
  if (look == kUp) {
    console::WriteString(b.X1 + 1, b.Y1 + 1, std::string(shown.size(), kShadowBelow), shadow);
    console::WriteString(b.X1 + b.Width, b.Y1, std::string(1, kShadowRight), shadow);
  } else {
    console::WriteString(b.X1 + 1, b.Y1 + 1, std::string(shown.size(), ' '), shadow);
    console::WriteString(b.X1, b.Y1, " ", bodyAttr);
  }
  EndDraw();
}

// The box of one Ask: a centred window with its lines and a row of buttons.
class MessageBox : public Window {
 public:
  MessageBox(std::string_view text, std::string_view buttons)
      : Window(1, 1, console::ScreenWidth(), console::ScreenHeight()) {
    BodyAttr = FrameAttr = RoleAttr(kRoleMessageBox);
    console::SetTextAttr(BodyAttr);
    lines_ = SplitLines(text);
    for (const std::string& label : SplitLines(ExpandShortForm(buttons)))
      if (!label.empty()) buttons_.push_back(MakeButton(label));
  }

  // Shows the box and reads keys until a button is chosen (or Enter or Esc
  // ends it); the chosen button's number, 0 for none.
  int Run(bool timed);

  // The window, the lines and the buttons, at the window's place.
  void Draw() override;

 private:
  void Layout();
  int Choose(std::uint8_t& key);
  bool Track(Button& b);
  std::uint8_t Countdown();

  bool automatic_ = false;  // the only button "Tovább" came because none was given
  std::vector<Button> buttons_;
  std::vector<std::string> lines_;
  int buttonWidth_ = 0;
  int firstButtonOffset_ = 0;  // from the left edge
};

// Buttons that do not fit the screen's width and lines that do not fit its
// height are dropped from the end; the box is centred.
void MessageBox::Layout() {
  int sw = console::ScreenWidth(), sh = console::ScreenHeight();
  int w = 0, t = 0;
  for (const Button& b : buttons_) w = std::max(w, static_cast<int>(b.Label.size()));
  for (const std::string& line : lines_) t = std::max(t, static_cast<int>(line.size()));
  auto n = static_cast<int>(buttons_.size());
  while (n > 1 && n * (w + kButtonGap) > sw - 2) --n;
  buttons_.resize(static_cast<std::size_t>(n));
  t = std::min(t, sw - 2);
  int row = n * (w + kButtonGap);
  int inner = std::max(row, t);
  if (static_cast<int>(lines_.size()) + 6 > sh) lines_.resize(static_cast<std::size_t>(std::max(sh - 6, 0)));
  int height = static_cast<int>(lines_.size()) + 6;
  Y1 = (sh - height) / 2 + 1;
  Y2 = Y1 + height - 1;
  X1 = (sw - inner) / 2;
  X2 = X1 + inner + 1;
  buttonWidth_ = w;
  firstButtonOffset_ = (inner - row) / 2 + 2;
}

void MessageBox::Draw() {
  BeginDraw();
  Window::Draw();
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    Button& b = buttons_[i];
    b.X1 = X1 + firstButtonOffset_ + static_cast<int>(i) * (buttonWidth_ + kButtonGap);
    b.X2 = b.X1 + buttonWidth_ - 1;
    b.Y1 = b.Y2 = Y2 - 2;
    b.Width = buttonWidth_;
    b.Drawn = 0;
    DrawButton(b, i == 0 && DefaultButtonMode() ? kPressed : kUp, BodyAttr);
  }
  int inner = X2 - X1 - 1;
  for (std::size_t i = 0; i < lines_.size(); ++i)
    WriteCentered(X1, X2, Y1 + static_cast<int>(i) + 2, lines_[i].substr(0, inner),
                  RoleAttr(kRoleMessageBox));
  EndDraw();
}

// Follows a press on a button until it is let go: pressed while the mouse
// is on it, up while it is not. True when the mouse was on it at the end.
bool MessageBox::Track(Button& b) {
  auto draw = [&] { DrawButton(b, MouseIn(b) ? kPressed : kUp, BodyAttr); };
  draw();
  FollowPress(draw);
  bool on = MouseIn(b);
  DrawButton(b, on ? kPressed : kUp, BodyAttr);
  return on;
}

// The number of the button the key chooses, 0 for none. A left press on a
// button is followed; it gives the button's hotkey as the key when let go on
// it, else 0.
int MessageBox::Choose(std::uint8_t& key) {
  bool press = (key == code::kLeftHeld || key == code::kLeftPress) && !Dragging();
  for (std::size_t i = 0; i < buttons_.size(); ++i) {
    Button& b = buttons_[i];
    if (press && MouseIn(b)) {
      bool chosen = Track(b);
      key = chosen ? b.Key : 0;
      return chosen ? static_cast<int>(i) + 1 : 0;
    }
    if (b.Key == key || (automatic_ && !IsMouseCode(key))) return static_cast<int>(i) + 1;
  }
  return 0;
}

// The 10-second countdown on the row under the buttons; the first key, or
// Enter when the time is up. The row is put back as it was.
std::uint8_t MessageBox::Countdown() {
  int row = Y2 - 1, from = X1 + 1, to = std::min(80, console::ScreenWidth());
  std::string chars = ReadRowChars(from, to, row), attrs = ReadRowAttrs(from, to, row);
  std::int64_t start = HundredthsOfDay();
  int left = kCountdownSeconds;
  std::uint8_t key = 0;
  while (key == 0) {
    std::string notice = text::FormatPicture("###", left) + std::string(" másodperc van még/Esc-megszakít"_cp);
    BeginDraw();
    console::WriteString(from, row, OutputConversion(notice), console::TextAttr());
    EndDraw();
    console::Delay(kCountdownTickMs);
    key = UpperKey(PollWindowKey(*this));
    if (key == 0 && HundredthsSince(start) > (kCountdownSeconds - left + 1) * 100 && --left == 0)
      key = console::key::kEnter;
  }
  BeginDraw();
  WriteCharsAt(from, to, row, chars);
  WriteAttrsAt(from, to, row, attrs);
  EndDraw();
  return key;
}

int MessageBox::Run(bool timed) {
  ScreenState state;
  SaveState(state);
  CursorHidden();
  if (buttons_.empty()) {
    Button b;
    b.Label = "Tovább"_cp;
    b.Inclusive = true;
    buttons_.push_back(b);
    automatic_ = true;
  }
  Layout();
  Draw();
  std::uint8_t key = 0;
  int chosen = 0;
  bool counting = timed;
  for (;;) {
    key = counting ? Countdown() : UpperKey(GetKey());
    counting = false;
    chosen = Choose(key);
    if (chosen != 0) break;
    bool ends = key == console::key::kEnter || key == console::key::kEsc;
    if (ends && (!timed || DefaultButtonMode())) break;
  }
  if (key == console::key::kEnter) chosen = 1;
  if (key == console::key::kEsc && automatic_) chosen = 0;
  RestoreState(state);
  return chosen;
}

int RunAsk(std::string_view text, std::string_view buttons, bool timed) {
  MessageBox box(text, buttons);
  return box.Run(timed);
}

// The console has only the platform's default beep: the frequency cannot
// be chosen, and a started tone needs no stopping.
void Sound(double hertz) {
  (void)hertz;
  console::Beep();
}

}  // namespace

int Ask(std::string_view text, std::string_view buttons) { return RunAsk(text, buttons, false); }

int AskTimed(std::string_view text, std::string_view buttons) { return RunAsk(text, buttons, true); }

int AskDefault(std::string_view text, std::string_view buttons) {
  bool before = DefaultButtonMode();
  SetDefaultButtonMode(true);
  int result;
  try {
    result = Ask(text, buttons);
  } catch (...) {
    SetDefaultButtonMode(before);
    throw;
  }
  SetDefaultButtonMode(before);
  return result;
}

bool DefaultButtonMode() { return State().DefaultButtonMode; }
void SetDefaultButtonMode(bool on) { State().DefaultButtonMode = on; }

void Beep() {
  Sound(500);
  console::Delay(100);
}

void PlayNote(int octave, int note, int duration) {
  Sound(32.625 * std::pow(2.0, octave) * std::pow(1.059463094, note - 1));
  if (duration != 0) console::Delay(duration);
}

void FlushKeys() {
  platform::Event event;
  while (console::ReadKeyEvent(event)) {
  }
  while (console::KeyPressed()) ReadEvent();
}

}  // namespace ui
