// The key label bar: one screen row of clickable key labels. ReadEvent turns
// a click on a label into the label's key; the bar only draws and keeps the
// screen row under it.
#include <algorithm>

#include "console/console.h"
#include "text/text.h"
#include "ui/state.h"

namespace ui {
namespace {

constexpr std::size_t kLabelMax = 30;

// The text with its first occurrence of the key's letter (compared in upper
// case) between "~" marks; unchanged when it has marks already or lacks the
// letter.
std::string MarkHotkey(const std::string& text, std::uint8_t key) {
  if (text.find('~') != std::string::npos) return text;
  std::string upper = text::UpperCaseText(text);
  char wanted = text::UpperCaseText(std::string(1, static_cast<char>(key)))[0];
  std::size_t at = upper.find(wanted);
  if (at == std::string::npos) return text;
  return text.substr(0, at) + '~' + text[at] + '~' + text.substr(at + 1);
}

// True while the mouse cursor is shown over the label's cells.
bool MouseOnLabel(const KeyLabel& label) { return MouseShown() && !MouseOutside(label); }

// A screen row's cells (character, attribute per cell) saved and put back.
std::vector<std::uint8_t> SaveRow(const Region& bar) {
  std::vector<std::uint8_t> cells(static_cast<std::size_t>(bar.X2 - bar.X1 + 1) * 2);
  console::SaveRect(bar.X1, bar.Y1, bar.X2, bar.Y1, cells.data());
  return cells;
}

void RestoreRow(const Region& bar, const std::vector<std::uint8_t>& cells) {
  if (cells.empty()) return;
  bool shown = MouseShown();
  HideMouse();
  console::RestoreRect(bar.X1, bar.Y1, bar.X2, bar.Y1, cells.data());
  if (shown) ShowMouse();
}

}  // namespace

KeyBar* ActiveKeyBar() { return State().ActiveBar; }

// ---- KeyLabel ------------------------------------------------------------------

KeyLabel::KeyLabel(int column, int row, std::string_view label, std::uint8_t keyCode,
                   HotkeyProc proc)
    : Procedure(std::move(proc)) {
  std::string cut = text::Trim(label.substr(0, std::min(label.size(), kLabelMax)));
  std::string marked = MarkHotkey(cut, keyCode);
  Width = static_cast<int>(marked.size() - std::count(marked.begin(), marked.end(), '~')) + 1;
  X1 = column;
  X2 = column + Width - 1;
  Y1 = Y2 = row;
  Inclusive = true;
  Key = keyCode;
  Text = ' ' + marked;
  if (Procedure) SetHotkey(0, keyCode, Procedure);
}

void KeyLabel::Draw(bool pressed) {
  std::uint8_t state = pressed ? 2 : 1;
  if (Drawn == state) return;
  Drawn = state;
  std::uint8_t body = RoleAttr(kRoleKeyBar), hot = RoleAttr(kRoleKeyBarHotkey);
  if (pressed) {
    body = console::Inverse(body);
    hot = MakeAttr(body >> 4, hot & 0x0F);
  }
  std::string chars, attrs;
  bool marked = false;
  for (char c : Text) {
    if (c == '~') {
      marked = !marked;
      continue;
    }
    chars += c;
    attrs += static_cast<char>(marked ? hot : body);
  }
  // Cells beyond the screen's right edge are dropped, never wrapped.
  std::size_t room = static_cast<std::size_t>(std::max(console::ScreenWidth() - X1 + 1, 0));
  chars.resize(std::min(chars.size(), room));
  attrs.resize(chars.size());
  WriteCharsAt(X1, X2, Y1, chars);
  WriteAttrsAt(X1, X2, Y1, attrs);
}

// ---- KeyBar ----------------------------------------------------------------------

KeyBar::KeyBar(int row) {
  X1 = 1;
  X2 = console::ScreenWidth();
  Y1 = Y2 = row;
  Inclusive = true;
  ClearHotkeys(0);
}

KeyBar::~KeyBar() {
  Labels.clear();
  if (State().ActiveBar == this) {
    RestoreRow(*this, SavedUnder);
    State().ActiveBar = nullptr;
  }
}

void KeyBar::AddLabel(std::string_view label, std::uint8_t keyCode, HotkeyProc proc) {
  int column = Labels.empty() ? X1 : Labels.back()->X1 + Labels.back()->Width;
  Labels.push_back(std::make_unique<KeyLabel>(column, Y1, label, keyCode, std::move(proc)));
  KeySet[keyCode] = true;
}

void KeyBar::Draw(bool full) {
  BeginDraw();
  if (full) {
    int n = X2 - X1 + 1;
    WriteCharsAt(X1, X2, Y1, std::string(n, ' '));
    WriteAttrsAt(X1, X2, Y1, std::string(n, static_cast<char>(RoleAttr(kRoleKeyBar))));
    for (auto& label : Labels) label->Drawn = 0;
  }
  for (auto& label : Labels) label->Draw(label.get() == Pressed && MouseOnLabel(*label));
  EndDraw();
}

KeyLabel* KeyBar::LabelAtMouse() {
  for (auto& label : Labels)
    if (MouseOnLabel(*label)) return label.get();
  return nullptr;
}

void KeyBar::Spread(int fromColumn, int toColumn) {
  if (Labels.empty()) return;
  int used = 0;
  for (auto& label : Labels) used += label->Width;
  int gaps = static_cast<int>(Labels.size()) - 1;
  int free = std::max(toColumn - fromColumn + 1 - used, 0);
  int column = fromColumn;
  for (int i = 0; i <= gaps; ++i) {
    KeyLabel& label = *Labels[i];
    label.X1 = column;
    label.X2 = column + label.Width - 1;
    column = label.X2 + 1;
    if (i < gaps) column += free / gaps + (i < free % gaps ? 1 : 0);
  }
  if (State().ActiveBar == this) Draw(true);
}

// ---- Showing and hiding ------------------------------------------------------------

void ShowKeyBar(KeyBar* bar, bool fresh) {
  if (bar == nullptr) return;
  State().ActiveBar = bar;
  if (fresh) {
    bar->SavedBar.clear();  // a fresh drawing makes an earlier copy stale
    bar->SavedUnder = SaveRow(*bar);
    bar->Draw(true);
  } else {
    RestoreRow(*bar, bar->SavedBar);
  }
}

void HideKeyBar(bool restoreUnder) {
  KeyBar* bar = State().ActiveBar;
  if (bar == nullptr) return;
  if (!restoreUnder && bar->SavedBar.empty()) bar->SavedBar = SaveRow(*bar);
  RestoreRow(*bar, bar->SavedUnder);
  State().ActiveBar = nullptr;
}

void PushKeyBar(KeyBar*& saved) {
  saved = State().ActiveBar;
  HideKeyBar(true);
}

void PopKeyBar(KeyBar* saved) { ShowKeyBar(saved, true); }

}  // namespace ui
