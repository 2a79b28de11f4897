// The record layer's tests: the engine fixture (a fresh folder, headless
// 80 x 25 screen, engine started as station "TEST_1") with the sample table
// (sample_table.h) open and current.
//
// Input for the screens' key loops is scripted in steps: Then(step) queues a
// step that runs when the screen next waits for a key (through the idle
// procedure, on a manual clock, so a step may look at the screen before it
// pushes keys). When the steps run out while the screen still waits,
// ScriptEnded is thrown, so a wrong key loop fails instead of hanging.
#pragma once
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "../db/db_fixture.h"
#include "platform/codepage.h"
#include "records/records.h"
#include "sample_table.h"
#include "text/text.h"

namespace records_test {

struct ScriptEnded : std::runtime_error {
  ScriptEnded() : std::runtime_error("the script ran out while the screen waited for a key") {}
};

class TableTest : public db_test::EngineTest {
 protected:
  void SetUp() override {
    platform::SetClock(&clock);
    EngineTest::SetUp();
    ui::SetIdle([this] { NextStep(); }, 1);
    def = SampleTable();
    OpenSample();
  }
  void TearDown() override {
    EXPECT_TRUE(steps_.empty()) << steps_.size() << " scripted steps never ran";
    records::SetCurrentTable(nullptr);
    table.reset();
    EngineTest::TearDown();
    platform::SetClock(nullptr);
  }

  // A step of the key script (see above); Keys pushes keys at once: a
  // character each, "\r" Enter, "\x1b" Esc.
  void Then(std::function<void()> step) { steps_.push_back(std::move(step)); }
  void Keys(std::string_view keys) {
    for (char c : keys) {
      if (c == '\r')
        PressEnter();
      else if (c == '\x1b')
        PressEsc();
      else
        term.PushChar(c);
    }
  }
  // A special key by its console code (128 + scan code).
  void Special(std::uint8_t code) { term.PushKey(static_cast<std::uint8_t>(code - 128), 0); }
  // A step that notes the screen's rows (a box's text) and then answers.
  void Answer(std::string_view keys) {
    Then([this, keys = std::string(keys)] {
      NoteScreen();
      Keys(keys);
    });
  }
  // The screen rows joined, as noted by the steps so far.
  void NoteScreen() {
    for (int row = 1; row <= 25; ++row) seen += Row(row) + "\n";
  }
  bool Seen(std::string_view text) const { return seen.find(text) != std::string::npos; }
  // A left click (press and release) at a 1-based screen position; a pause
  // first, so that two clicks are no double click.
  void Click(int column, int row) {
    clock.Advance(100);
    term.PushMouse(column - 1, row - 1, 1);
    term.PushMouse(column - 1, row - 1, 0);
  }
  // The screen column of a text on a row (1-based), 0 when it is not there.
  int ColumnOf(std::string_view text, int row) {
    std::size_t at = Row(row).find(text);
    return at == std::string::npos ? 0 : static_cast<int>(at) + 1;
  }
  // True when a row shows the words in this order.
  bool ShowsInOrder(int row, std::initializer_list<std::string_view> words) {
    std::size_t at = 0;
    const std::string shown = Row(row);
    for (std::string_view word : words) {
      at = shown.find(word, at);
      if (at == std::string::npos) return false;
      at += word.size();
    }
    return true;
  }

  // Opens (again) the sample table and makes it current.
  void OpenSample() {
    table = std::make_unique<records::TableView>(def);
    records::OpenTable(*table);
    records::SetCurrentTable(table.get());
  }
  void CloseSample() {
    records::SetCurrentTable(nullptr);
    table.reset();
  }

  const records::FieldDef& F(Field field) const { return def.Fields[field]; }

  // A record image of the sample table.
  std::vector<std::uint8_t> Make(std::string_view code, std::string_view name = "",
                                 double amount = 0, std::string_view date = "") {
    auto record = records::BlankRecord(def);
    records::SetFieldText(F(kCode), record.data(), code);
    records::SetFieldText(F(kName), record.data(), name);
    if (amount != 0) records::SetFieldValue(F(kAmount), record.data(), amount);
    records::SetFieldText(F(kDate), record.data(), date);
    return record;
  }
  // Three records: a = A1 "Alma", b = B2 "Korte", c = C3 "Szilva".
  void Seed() {
    a = Add("A1", "Alma");
    b = Add("B2", "Korte");
    c = Add("C3", "Szilva");
  }
  // Stores a new record; its number.
  std::int32_t Add(std::string_view code, std::string_view name = "", double amount = 0,
                   std::string_view date = "") {
    std::int32_t n = 0;
    auto record = Make(code, name, amount, date);
    EXPECT_TRUE(records::StoreNewRecord(*table, record.data(), n)) << code;
    return n;
  }
  std::string Code(const std::vector<std::uint8_t>& record) const {
    return records::FieldText(F(kCode), record.data());
  }
  // Record n as stored, read without locks.
  std::vector<std::uint8_t> Peek(std::int32_t n) {
    std::vector<std::uint8_t> record(static_cast<std::size_t>(def.RecLen));
    records::PeekTableRecord(*table, n, record.data());
    return record;
  }
  std::string Code(std::int32_t n) { return Code(Peek(n)); }
  std::string Name(std::int32_t n) {
    return text::TrimRight(records::FieldText(F(kName), Peek(n).data()));
  }
  bool InUse(std::int32_t n) { return !db::RecordIsFree(Peek(n).data()); }

  // The keys of an index in order, each "KEY=n".
  std::vector<std::string> IndexKeys(int index) {
    std::vector<std::string> keys;
    db::IndexFile& x = table->Index(index);
    db::ResetPosition(x);
    std::int32_t ref = 0;
    std::string key;
    for (db::StepNext(x, ref, key); db::DbOk(); db::StepNext(x, ref, key))
      keys.push_back(key + "=" + std::to_string(ref));
    return keys;
  }

  // Positions the table on record n (as the list leaves it).
  void PositionOn(std::int32_t n) {
    table->Record = Peek(n);
    table->CurrentRecord = n;
    table->CurrentKey = records::RecordKey(*table, table->CurrentIndex, table->Record.data());
  }

  records::TableDef def;
  std::unique_ptr<records::TableView> table;
  std::int32_t a = 0, b = 0, c = 0;  // Seed's records
  platform::ManualClock clock;
  std::string seen;

 private:
  void NextStep() {
    if (steps_.empty()) throw ScriptEnded{};
    auto step = std::move(steps_.front());
    steps_.pop_front();
    step();
  }
  std::deque<std::function<void()>> steps_;
};

}  // namespace records_test
