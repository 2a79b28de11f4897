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
  std::vector<std::uint8_t> cells(static_cast<std::size_t>(bar.x2 - bar.x1 + 1) * 2);
  console::SaveRect(bar.x1, bar.y1, bar.x2, bar.y1, cells.data());
  return cells;
}

void RestoreRow(const Region& bar, const std::vector<std::uint8_t>& cells) {
  if (cells.empty()) return;
  bool shown = MouseShown();
  HideMouse();
  console::RestoreRect(bar.x1, bar.y1, bar.x2, bar.y1, cells.data());
  if (shown) ShowMouse();
}

}  // namespace

KeyBar* ActiveKeyBar() { return State().activeBar; }

// ---- KeyLabel ------------------------------------------------------------------

KeyLabel::KeyLabel(int column, int row, std::string_view label, std::uint8_t keyCode,
                   HotkeyProc proc)
    : procedure(std::move(proc)) {
  std::string cut = text::Trim(label.substr(0, std::min(label.size(), kLabelMax)));
  std::string marked = MarkHotkey(cut, keyCode);
  width = static_cast<int>(marked.size() - std::count(marked.begin(), marked.end(), '~')) + 1;
  x1 = column;
  x2 = column + width - 1;
  y1 = y2 = row;
  inclusive = true;
  key = keyCode;
  text = ' ' + marked;
  if (procedure) SetHotkey(0, keyCode, procedure);
}

void KeyLabel::Draw(bool pressed) {
  std::uint8_t state = pressed ? 2 : 1;
  if (drawn == state) return;
  drawn = state;
  std::uint8_t body = RoleAttr(kRoleKeyBar), hot = RoleAttr(kRoleKeyBarHotkey);
  if (pressed) {
    body = console::Inverse(body);
    hot = MakeAttr(body >> 4, hot & 0x0F);
  }
  std::string chars, attrs;
  bool marked = false;
  for (char c : text) {
    if (c == '~') {
      marked = !marked;
      continue;
    }
    chars += c;
    attrs += static_cast<char>(marked ? hot : body);
  }
  // Cells beyond the screen's right edge are dropped, never wrapped.
  std::size_t room = static_cast<std::size_t>(std::max(console::ScreenWidth() - x1 + 1, 0));
  chars.resize(std::min(chars.size(), room));
  attrs.resize(chars.size());
  WriteCharsAt(x1, x2, y1, chars);
  WriteAttrsAt(x1, x2, y1, attrs);
}

// ---- KeyBar ----------------------------------------------------------------------

KeyBar::KeyBar(int row) {
  x1 = 1;
  x2 = console::ScreenWidth();
  y1 = y2 = row;
  inclusive = true;
  ClearHotkeys(0);
}

KeyBar::~KeyBar() {
  labels.clear();
  if (State().activeBar == this) {
    RestoreRow(*this, savedUnder);
    State().activeBar = nullptr;
  }
}

void KeyBar::AddLabel(std::string_view label, std::uint8_t keyCode, HotkeyProc proc) {
  int column = labels.empty() ? x1 : labels.back()->x1 + labels.back()->width;
  labels.push_back(std::make_unique<KeyLabel>(column, y1, label, keyCode, std::move(proc)));
  keySet[keyCode] = true;
}

void KeyBar::Draw(bool full) {
  BeginDraw();
  if (full) {
    int n = x2 - x1 + 1;
    WriteCharsAt(x1, x2, y1, std::string(n, ' '));
    WriteAttrsAt(x1, x2, y1, std::string(n, static_cast<char>(RoleAttr(kRoleKeyBar))));
    for (auto& label : labels) label->drawn = 0;
  }
  for (auto& label : labels) label->Draw(label.get() == pressed && MouseOnLabel(*label));
  EndDraw();
}

KeyLabel* KeyBar::LabelAtMouse() {
  for (auto& label : labels)
    if (MouseOnLabel(*label)) return label.get();
  return nullptr;
}

void KeyBar::Spread(int fromColumn, int toColumn) {
  if (labels.empty()) return;
  int used = 0;
  for (auto& label : labels) used += label->width;
  int gaps = static_cast<int>(labels.size()) - 1;
  int free = std::max(toColumn - fromColumn + 1 - used, 0);
  int column = fromColumn;
  for (int i = 0; i <= gaps; ++i) {
    KeyLabel& label = *labels[i];
    label.x1 = column;
    label.x2 = column + label.width - 1;
    column = label.x2 + 1;
    if (i < gaps) column += free / gaps + (i < free % gaps ? 1 : 0);
  }
  if (State().activeBar == this) Draw(true);
}

// ---- Showing and hiding ------------------------------------------------------------

void ShowKeyBar(KeyBar* bar, bool fresh) {
  if (bar == nullptr) return;
  State().activeBar = bar;
  if (fresh) {
    bar->savedBar.clear();  // a fresh drawing makes an earlier copy stale
    bar->savedUnder = SaveRow(*bar);
    bar->Draw(true);
  } else {
    RestoreRow(*bar, bar->savedBar);
  }
}

void HideKeyBar(bool restoreUnder) {
  KeyBar* bar = State().activeBar;
  if (bar == nullptr) return;
  if (!restoreUnder && bar->savedBar.empty()) bar->savedBar = SaveRow(*bar);
  RestoreRow(*bar, bar->savedUnder);
  State().activeBar = nullptr;
}

void PushKeyBar(KeyBar*& saved) {
  saved = State().activeBar;
  HideKeyBar(true);
}

void PopKeyBar(KeyBar* saved) { ShowKeyBar(saved, true); }

}  // namespace ui
