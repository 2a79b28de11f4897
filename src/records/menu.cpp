// The menu bar of the record screens: items "RrRögzités VvVége" as key
// labels on the row below the current window; a label is picked by one of
// its hotkeys, by a click, or by Enter on the current label.
#include <algorithm>

#include "console/console.h"
#include "records/widgets.h"
#include "text/text.h"

namespace records {
namespace {

struct MenuItem {
  std::uint8_t first = 0, second = 0;  // the hotkey codes
  std::string label;
};

std::vector<MenuItem> ParseItems(std::string_view items) {
  std::vector<MenuItem> parsed;
  for (const std::string& word : widgets::Words(items)) {
    if (word.size() < 2) continue;
    parsed.push_back({static_cast<std::uint8_t>(word[0]), static_cast<std::uint8_t>(word[1]),
                      word.substr(2)});
  }
  return parsed;
}

// The label with the first occurrence of the first hotkey code (or else of
// the second) between "~" marks.
std::string MarkedLabel(const MenuItem& item) {
  std::size_t at = item.label.find(static_cast<char>(item.first));
  if (at == std::string::npos) at = item.label.find(static_cast<char>(item.second));
  if (at == std::string::npos) return item.label;
  return item.label.substr(0, at) + '~' + item.label[at] + '~' + item.label.substr(at + 1);
}

// A letter pair gives the upper-case letter. A special key (the same code
// twice) keeps its code: upper-casing would turn some of them into others
// (Down, 0xD0, is also the letter "đ", whose capital is PgDn's 0xD1).
std::uint8_t LabelKey(const MenuItem& item) {
  if (item.first == item.second) return item.first;
  return static_cast<std::uint8_t>(text::UpperCaseText(std::string(1, static_cast<char>(item.first)))[0]);
}

// The 1-based item a key picks, 0 when none.
int ItemOfKey(const std::vector<MenuItem>& items, std::uint8_t k) {
  for (std::size_t i = 0; i < items.size(); ++i)
    if (k == items[i].first || k == items[i].second || k == LabelKey(items[i]))
      return static_cast<int>(i) + 1;
  return 0;
}

// The row below the current text window, at most the screen's last.
int RowBelowWindow() {
  int bottom = (console::WindMax() >> 8) + 1;
  return std::min(bottom + 1, console::ScreenHeight());
}

bool IsMouseCode(std::uint8_t k) { return (k >= 1 && k <= 7) || k == ui::code::kRightRelease; }

// The current label drawn pressed, the others up.
void ShowCurrent(ui::KeyBar& bar, int current) {
  for (std::size_t i = 0; i < bar.Labels.size(); ++i)
    bar.Labels[i]->Draw(static_cast<int>(i) + 1 == current);
}

// What a key answers: a label's key (that label becoming current), the key
// itself when it is no hotkey, 0 for a mouse action or a move of the
// current label.
std::uint8_t Answer(const std::vector<MenuItem>& items, std::uint8_t k, int& current) {
  int count = static_cast<int>(items.size());
  if (int item = ItemOfKey(items, k)) {
    current = item;
  } else if (k == key::kLeft || k == key::kRight) {
    current = (current - 1 + (k == key::kLeft ? count - 1 : 1)) % count + 1;
    return 0;
  } else if (k != key::kEnter) {
    return IsMouseCode(k) ? 0 : k;
  }
  return LabelKey(items[static_cast<std::size_t>(current - 1)]);
}

}  // namespace

// Left and Right move the current label (round); any key that is no
// label's hotkey is returned as it is, so callers may take Esc or digits.
std::uint8_t MenuBar(std::string_view items, int& current) {
  std::vector<MenuItem> parsed = ParseItems(items);
  int count = static_cast<int>(parsed.size());
  if (current < 1 || current > count) current = 1;
  if (count == 0) return 0;
  ui::KeyBar* previous = nullptr;
  ui::PushKeyBar(previous);
  std::uint8_t chosen = 0;
  {
    ui::KeyBar bar(RowBelowWindow());
    for (const MenuItem& item : parsed) bar.AddLabel(MarkedLabel(item), LabelKey(item));
    bar.Spread(1, console::ScreenWidth());
    ui::ShowKeyBar(&bar, true);
    while (chosen == 0) {
      ShowCurrent(bar, current);
      chosen = Answer(parsed, ui::WaitKey(), current);
    }
  }
  ui::PopKeyBar(previous);
  return chosen;
}

}  // namespace records
