// The one-record view: the table's form on one record at a time, a key
// search to start, then a menu bar to step, edit, delete and add.
#include <vector>

#include "console/console.h"
#include "platform/codepage.h"
#include "records/loops.h"
#include "records/records.h"
#include "ui/ui.h"

using namespace platform::literals;

namespace records {
namespace {

// The screen's cells and the output state, put back at the end of a scope.
class SavedScreen {
 public:
  SavedScreen()
      : width_(console::ScreenWidth()),
        height_(console::ScreenHeight()),
        cells_(static_cast<std::size_t>(width_ * height_ * 2)) {
    ui::SaveState(state_);
    console::SaveRect(1, 1, width_, height_, cells_.data());
  }
  ~SavedScreen() {
    console::RestoreRect(1, 1, width_, height_, cells_.data());
    ui::RestoreState(state_);
  }
  SavedScreen(const SavedScreen&) = delete;
  SavedScreen& operator=(const SavedScreen&) = delete;

 private:
  int width_, height_;
  std::vector<std::uint8_t> cells_;
  ui::ScreenState state_;
};

// Keresés, Up, Down, Home, End, Javitás, Törlés, Uj, Vissza; a special key's
// item is its code twice (the arrows labelled with their glyphs).
std::string ViewMenu() {
  auto special = [](std::uint8_t code, std::string_view label) {
    return std::string(2, static_cast<char>(code)) + std::string(label) + " ";
  };
  return std::string("KkKeresés "_cp) + special(key::kUp, "\x18") + special(key::kDown, "\x19") +
         special(key::kHome, "Home") + special(key::kEnd, "End") +
         std::string("JjJavitás TtTörlés UuUj VvVissza"_cp);
}

enum class Next { kStay, kSearch, kEnd };

void ShowRecord(TableView& table) { ShowForm(table, table.Record.data(), table.Def.Title); }

void ShowWhenMoved(TableView& table, bool moved) {
  if (moved) ShowRecord(table);
}

// Index 1, a blank form and the key search; false when it found nothing.
bool SearchAndShow(TableView& table) {
  table.CurrentIndex = 1;
  table.Record = BlankRecord(table.Def);
  ShowRecord(table);
  if (!KeySearch(table)) return false;
  ShowRecord(table);
  return true;
}

void Step(TableView& table, bool forward) {
  if (StepRecord(table, forward))
    ShowRecord(table);
  else
    ui::Ask(forward ? "Nincs következö !"_cp : "Nincs elözö"_cp, "");
}

void EditInView(TableView& table) {
  {
    SavedScreen screen;
    EditCurrentRecord(table, kEditHelp);
  }
  ShowRecord(table);
}

// False when no record remains after the delete.
bool DeleteInView(TableView& table) {
  if (ui::Ask("Biztosan törölni akar ? "_cp, std::string_view("Igen\0Nem", 8)) != 1) return true;
  DeleteCurrentRecord(table);
  if (db::LiveRecordCount(table.Data) == 0) return false;
  ShowRecord(table);
  return true;
}

// The numeric pad's digits stand for the arrows: 1 End, 2 Down, 7 Home, 8 Up.
Next RunViewCommand(TableView& table, std::uint8_t command) {
  switch (UpperKey(command)) {
    case key::kEsc:
    case 'V':
      return Next::kEnd;
    case '1':
    case key::kEnd:
      ShowWhenMoved(table, LastRecord(table));
      break;
    case '2':
    case key::kDown:
      Step(table, true);
      break;
    case '7':
    case key::kHome:
      ShowWhenMoved(table, FirstRecord(table));
      break;
    case '8':
    case key::kUp:
      Step(table, false);
      break;
    case 'J':
      EditInView(table);
      break;
    case 'K':
      return Next::kSearch;
    case 'T':
      return DeleteInView(table) ? Next::kStay : Next::kEnd;
    case 'U':
      EnterNewRecords(table, false, kEditHelp);
      ShowRecord(table);
      break;
    default:
      break;
  }
  return Next::kStay;
}

}  // namespace

void ViewRecords() {
  TableView& table = *CurrentTable();
  if (db::LiveRecordCount(table.Data) == 0) {
    ui::Ask("Nincs tárolt rekord"_cp, "");
    return;
  }
  SavedScreen screen;
  const std::string menu = ViewMenu();
  int current = 1;
  Next next = Next::kSearch;
  while (next != Next::kEnd) {
    if (next == Next::kSearch && !SearchAndShow(table)) break;
    next = RunViewCommand(table, MenuBar(menu, current));
  }
}

}  // namespace records
