// The key search: a small box asks for a key of the current index and the
// table is positioned on the first record whose key is at least that one.
#include <algorithm>

#include "console/console.h"
#include "platform/codepage.h"
#include "records/records.h"
#include "ui/ui.h"

namespace records {
namespace {

using namespace platform::literals;

constexpr int kMaxFieldWidth = 60;

// Asks for the key in a box "Keresés: <index label>"; false on Esc.
bool AskKey(const IndexDef& index, std::string& typed) {
  std::string prompt = std::string("Keresés: "_cp) + index.Label;
  int field = std::clamp(index.KeyLength, 1, kMaxFieldWidth);
  int inner = std::max(static_cast<int>(prompt.size()), field) + 2;
  int x1 = (console::ScreenWidth() - inner - 2) / 2 + 1, y1 = console::ScreenHeight() / 2 - 2;
  ui::Window window(x1, y1, x1 + inner + 1, y1 + 3);
  window.Movable = false;
  window.Draw();
  ui::WriteAt(2, 1, prompt, console::TextAttr());
  ui::LineEditOptions options;
  options.MaxLength = index.KeyLength;
  return ui::EditLine(2, 2, field, typed, options) != key::kEsc;
}

}  // namespace

// The first entry at least the typed key whose record is in use; the index
// upper-cases the key. Records are peeked: the search takes no lock.
bool KeySearch(TableView& table) {
  std::string key;
  if (!AskKey(table.Def.Indexes[static_cast<std::size_t>(table.CurrentIndex - 1)], key)) return false;
  db::IndexFile& index = table.Index(table.CurrentIndex);
  std::int32_t ref = 0;
  std::vector<std::uint8_t> record(static_cast<std::size_t>(table.Def.RecLen));
  for (bool found = db::SeekKeyAtLeast(index, ref, key); found; found = db::StepNext(index, ref, key)) {
    db::PeekRecord(table.Data, ref, record.data());
    if (!db::RecordInUse()) continue;
    table.CurrentKey = key;
    table.CurrentRecord = ref;
    table.Record = std::move(record);
    return true;
  }
  return false;
}

}  // namespace records
