// The key-help line of the record layer's widgets: the words of a help text
// as clickable key labels.
#include <algorithm>
#include <array>

#include "console/console.h"
#include "records/widgets.h"
#include "text/text.h"

namespace records::widgets {
namespace {

struct NamedKey {
  std::string_view name;
  std::uint8_t code;
};

// The key names a help word may start with (before its "-").
constexpr std::array<NamedKey, 19> kNamedKeys = {{
    {"Ins", key::kIns}, {"Del", key::kDel}, {"Esc", key::kEsc}, {"Enter", key::kEnter},
    {"Tab", key::kTab}, {"Home", key::kHome}, {"End", key::kEnd}, {"PgUp", key::kPgUp},
    {"PgDn", key::kPgDn}, {"F1", 0xBB}, {"F2", 0xBC}, {"F3", 0xBD}, {"F4", 0xBE},
    {"F5", 0xBF}, {"F6", 0xC0}, {"F7", key::kF7}, {"F8", 0xC2}, {"F9", 0xC3},
    {"F10", key::kF10},
}};

// The named key a word starts with, nullptr when none.
const NamedKey* NamedKeyOf(std::string_view word) {
  std::size_t dash = word.find('-');
  if (dash == std::string_view::npos) return nullptr;
  std::string_view name = word.substr(0, dash);
  for (const NamedKey& key : kNamedKeys)
    if (key.name == name) return &key;
  return nullptr;
}

}  // namespace

std::vector<std::string> Words(std::string_view text) {
  std::vector<std::string> words;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = std::min(text.find(' ', at), text.size());
    if (end > at) words.emplace_back(text.substr(at, end - at));
    at = end + 1;
  }
  return words;
}

std::uint8_t KeyHelpCode(std::string_view word) {
  if (word.empty()) return 0;
  if (const NamedKey* key = NamedKeyOf(word)) return key->code;
  return static_cast<std::uint8_t>(text::UpperCaseText(word.substr(0, 1))[0]);
}

std::string KeyHelpLabel(std::string_view word) {
  std::string label(word);
  std::replace(label.begin(), label.end(), '_', ' ');
  const NamedKey* key = NamedKeyOf(word);
  if (!key) return label;
  std::string marked = "~";
  marked.append(label, 0, key->name.size()).append("~").append(label, key->name.size());
  return marked;
}

KeyHelpLine::KeyHelpLine(int row, std::string_view keyHelp) {
  if (Words(keyHelp).empty()) return;
  ui::PushKeyBar(previous_);
  bar_ = std::make_unique<ui::KeyBar>(row);
  for (const std::string& word : Words(keyHelp)) bar_->AddLabel(KeyHelpLabel(word), KeyHelpCode(word));
  bar_->Spread(1, console::ScreenWidth());
  ui::ShowKeyBar(bar_.get(), true);
}

KeyHelpLine::~KeyHelpLine() {
  if (!bar_) return;
  bar_.reset();
  ui::PopKeyBar(previous_);
}

}  // namespace records::widgets
