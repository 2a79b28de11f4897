// Internal to the record layer's widgets: the key-help line under a list or
// a form, and the current table set for the span of a widget.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "records/records.h"
#include "ui/ui.h"

namespace records::widgets {

// The key a key-help word stands for: a word that starts with a key's name
// and "-" ("Ins-új", "Esc-ki", "F10-tárolás") that key, any other word its
// first letter upper-cased ("Javit" 'J', "Csop.jav" 'C'); 0 for "".
std::uint8_t KeyHelpCode(std::string_view word);
// The label a key-help word shows: the key's name or the first letter
// marked as the hotkey, "_" shown as a blank.
std::string KeyHelpLabel(std::string_view word);

// A key-help line: one clickable label per blank-separated word of keyHelp
// on a screen row, spread over it (no bar for a help without words). The
// bar active before it is hidden for its life and shown again after; the
// row under it comes back.
class KeyHelpLine {
 public:
  KeyHelpLine(int row, std::string_view keyHelp);
  ~KeyHelpLine();
  KeyHelpLine(const KeyHelpLine&) = delete;
  KeyHelpLine& operator=(const KeyHelpLine&) = delete;

 private:
  ui::KeyBar* previous_ = nullptr;
  std::unique_ptr<ui::KeyBar> bar_;
};

// Makes a table the current one (RecordFilter's table) for a scope.
class CurrentTableScope {
 public:
  explicit CurrentTableScope(TableView& table) : previous_(CurrentTable()) { SetCurrentTable(&table); }
  ~CurrentTableScope() { SetCurrentTable(previous_); }
  CurrentTableScope(const CurrentTableScope&) = delete;
  CurrentTableScope& operator=(const CurrentTableScope&) = delete;

 private:
  TableView* previous_;
};

// The blank-separated words of a text.
std::vector<std::string> Words(std::string_view text);

}  // namespace records::widgets
