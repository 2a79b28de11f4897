// The one-record view: the table's form on one record at a time, a key
// search to start, then a menu bar to step, edit, delete and add.
#include <array>
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

using ViewCommand = Command<Next>;

// The view's commands, in the order of its menu bar. The numeric pad's
// digits stand for the arrows: 1 End, 2 Down, 7 Home, 8 Up.
constexpr std::array<ViewCommand, 9> kViewCommands = {{
    {"Keresés"_cp, {'K'}, [](TableView&) { return Next::kSearch; }},
    {"\x18", {key::kUp, '8'}, [](TableView& table) { Step(table, false); return Next::kStay; }},
    {"\x19", {key::kDown, '2'}, [](TableView& table) { Step(table, true); return Next::kStay; }},
    {"Home", {key::kHome, '7'}, [](TableView& table) { ShowWhenMoved(table, FirstRecord(table)); return Next::kStay; }},
    {"End", {key::kEnd, '1'}, [](TableView& table) { ShowWhenMoved(table, LastRecord(table)); return Next::kStay; }},
    {"Javitás"_cp, {'J'}, [](TableView& table) { EditInView(table); return Next::kStay; }},
    {"Törlés"_cp, {'T'}, [](TableView& table) { return DeleteInView(table) ? Next::kStay : Next::kEnd; }},
    {"Uj", {'U'},
     [](TableView& table) {
       EnterNewRecords(table, false, kEditHelp);
       ShowRecord(table);
       return Next::kStay;
     }},
    {"Vissza", {'V', key::kEsc}, [](TableView&) { return Next::kEnd; }},
}};

// The menu bar's items: a letter's item is its capital and small letter
// before the word, a special key's item its code twice.
std::string ViewMenu() {
  return OfferedWords(kViewCommands, [](const ViewCommand& command) {
    const auto first = static_cast<char>(command.keys[0]);
    const char second = first >= 'A' && first <= 'Z' ? static_cast<char>(first - 'A' + 'a') : first;
    return std::string{first, second} + std::string(command.word);
  });
}

Next RunViewCommand(TableView& table, std::uint8_t k) {
  const ViewCommand* command = CommandOfKey(kViewCommands, k);
  return command ? command->run(table) : Next::kStay;
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
