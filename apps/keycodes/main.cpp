// keycodes: shows, for each key, the one-byte key code the console driver
// delivers (hex and name), and for each mouse action the buttons held and
// the 1-based column and row. Esc twice in a row ends it. It is how a person
// checks a terminal, and how the end-to-end test checks ours.
//
// keycodes --ask: opens the message box with the buttons "Igen", "Nem" and
// "ESC" over a shaded screen and ends with the chosen button's number as the
// exit code (1, 2 or 3; 0 for none). It is how the end-to-end test checks
// the toolkit's keys and clicks in a real terminal.
#include <cstdio>
#include <deque>
#include <string>
#include <string_view>

#include "console/console.h"
#include "platform/codepage.h"
#include "platform/sysinfo.h"
#include "startup/startup.h"
#include "ui/ui.h"

namespace {

using namespace platform::literals;

constexpr std::uint8_t kFrameAttr = 0x1F, kTextAttr = 0x17, kValueAttr = 0x1E;
constexpr int kLeft = 3, kWidth = 76;                    // text area inside the frame
constexpr int kKeyRow = 6, kMouseRow = 7;                // latest key, latest mouse action
constexpr int kHistoryTop = 10, kHistoryRows = 14;       // rows 10..23, newest first

// Writes text at the text area's left edge, blank-padded to its width.
void Line(int row, std::string text, std::uint8_t attr) {
  text.resize(kWidth, ' ');
  console::WriteString(kLeft, row, text, attr);
}

std::string Repeated(std::string_view piece, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s += piece;
  return s;
}

void PaintScreen() {
  console::Fill(1, 1, 80 * 25, ' ', kTextAttr);
  std::string bar = Repeated("═"_cp, 78);
  console::WriteString(1, 1, std::string("╔"_cp) + bar + std::string("╗"_cp), kFrameAttr);
  console::WriteString(1, 25, std::string("╚"_cp) + bar + std::string("╝"_cp), kFrameAttr);
  for (int row = 2; row <= 24; ++row) {
    console::WriteString(1, row, "║"_cp, kFrameAttr);
    console::WriteString(80, row, "║"_cp, kFrameAttr);
  }
  std::string_view title = " Billentyűkódok "_cp;
  console::WriteString(41 - static_cast<int>(title.size()) / 2, 1, title, kFrameAttr);
  Line(3, std::string("Nyomjon meg egy billentyűt vagy kattintson az egérrel."_cp), kTextAttr);
  Line(4, std::string("Kilépés: kétszer Esc."_cp), kTextAttr);
  Line(9, std::string("Előzmények (a legújabb felül):"_cp), kTextAttr);
}

std::string KeyText(const platform::KeyEvent& key) {
  std::uint8_t code = console::TranslateKey(key);
  char hex[4];
  std::snprintf(hex, sizeof hex, "%02X", code);
  return std::string("Kód: "_cp) + hex + "  " + console::KeyName(code);
}

std::string MouseText(const platform::MouseEvent& mouse) {
  static constexpr std::string_view kButtons[] = {"nincs lenyomott gomb"_cp, "bal gomb"_cp,
                                                  "jobb gomb"_cp, "bal és jobb gomb"_cp};
  char where[48];
  std::snprintf(where, sizeof where, ", %d. oszlop, %d. sor", mouse.X + 1, mouse.Y + 1);
  std::string text = std::string("Egér: "_cp) + std::string(kButtons[mouse.Buttons & 3]) + where;
  if (mouse.Moved) text += std::string(", mozgás"_cp);
  return text;
}

class Viewer {
 public:
  // Shows one line as the latest of its kind and on top of the history.
  void Show(int row, const std::string& text) {
    console::HoldUpdates();
    Line(row, text, kValueAttr);
    history_.push_front(text);
    if (history_.size() > kHistoryRows) history_.pop_back();
    for (int i = 0; i < static_cast<int>(history_.size()); ++i)
      Line(kHistoryTop + i, history_[i], kTextAttr);
    console::ReleaseUpdates();
  }

  // Runs until Esc is pressed twice in a row.
  void Run() {
    bool lastWasEsc = false;
    for (;;) {
      if (console::BreakFlag()) {
        console::SetBreakFlag(false);
        Show(kKeyRow, std::string("Ctrl+C: a program fut tovább."_cp));
        lastWasEsc = false;
      }
      platform::Event event;
      if (!console::ReadKeyEvent(event)) {
        console::Delay(10);
        continue;
      }
      if (event.Kind == platform::EventKind::kKey) {
        bool esc = console::TranslateKey(event.Key) == console::key::kEsc;
        if (esc && lastWasEsc) return;
        lastWasEsc = esc;
        Show(kKeyRow, KeyText(event.Key));
      } else if (event.Kind == platform::EventKind::kMouse) {
        lastWasEsc = false;
        Show(kMouseRow, MouseText(event.Mouse));
      }
    }
  }

 private:
  std::deque<std::string> history_;
};

// The question of the --ask mode; ends the program with the answer.
void AskDemo() {
  ui::InitMouse();
  ui::FillWindow(static_cast<std::uint8_t>("░"_cp[0]), console::TextAttr());
  ui::WriteAt(1, 1, " Ask próba "_cp, console::TextAttr());
  std::string text = std::string("Melyik gombot választja?"_cp) + '\0' + "Igen = 1, Nem = 2, ESC = 3";
  console::EndProgram(ui::Ask(text, "INS"));
}

}  // namespace

int main(int argc, char** argv) {
  platform::SetProgramArgs(argc, argv);
  bool ask = argc > 1 && std::string_view(argv[1]) == "--ask";
  return startup::RunMainFlow([ask] {
    if (ask) AskDemo();
    console::SetCursor(console::Cursor::kHidden);
    PaintScreen();
    Viewer().Run();
  });
}
