// A second station for the record layer's tests: one process working on the
// sample table (sample_table.h) as a program of the suite would, driven line
// by line.
//
//   records_station FOLDER STATION   the table in FOLDER, as station STATION
//
// It runs the programs' start-up on a headless 80 x 25 screen and opens the
// table. Each line on its standard input is a command; each answer is a line
// starting "ok" ("bye" and the exit code after quit). CODE names a record
// by its code (index 1).
//
//   lock CODE       the record read with its lock, which stays held ("ok N")
//   release CODE [MS]  its lock released (after MS milliseconds)
//   delete CODE MS  after MS milliseconds the record deleted as the list
//                   deletes it, waiting for its lock ("ok 1" when deleted)
//   add CODE NAME   a new record stored as the list stores it ("ok N", its
//                   number; "ok 0" when refused)
//   count           the live records ("ok N")
//   quit
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "../sample_table.h"
#include "platform/sysinfo.h"
#include "platform/terminal.h"
#include "startup/startup.h"
#include "../../db/helpers/station_frame.h"

namespace {

using station::Say;

// Positions the table on the record of a code (CurrentRecord 0 when none).
void PositionOn(records::TableView& table, const std::string& code) {
  auto probe = records::BlankRecord(table.Def);
  records::SetFieldText(table.Def.Fields[records_test::kCode], probe.data(), code);
  std::string key = records::RecordKey(table, 1, probe.data());
  std::int32_t n = 0;
  db::SeekKey(table.Index(1), n, key);
  table.CurrentIndex = 1;
  table.CurrentKey = key;
  table.CurrentRecord = db::DbOk() ? n : 0;
  if (table.CurrentRecord != 0) records::PeekTableRecord(table, n, table.Record.data());
}

bool Serve(records::TableView& table, const std::string& line) {
  std::istringstream in(line);
  std::string command, code;
  in >> command >> code;
  if (command == "quit") return false;
  if (command != "count" && command != "add") PositionOn(table, code);
  if (command == "lock") {
    std::vector<std::uint8_t> buf(table.Record.size());
    db::ReadRecord(table.Data, table.CurrentRecord, buf.data());
    Say("ok " + std::to_string(table.CurrentRecord));
  } else if (command == "release") {
    int ms = 0;
    in >> ms;
    platform::SleepMs(ms);
    db::UnlockRecord(table.Data, table.CurrentRecord);
    Say("ok");
  } else if (command == "delete") {
    int ms = 0;
    in >> ms;
    platform::SleepMs(ms);
    Say("ok " + std::to_string(records::DeleteCurrentRecord(table)));
  } else if (command == "add") {
    std::string name;
    in >> name;
    auto record = records::BlankRecord(table.Def);
    records::SetFieldText(table.Def.Fields[records_test::kCode], record.data(), code);
    records::SetFieldText(table.Def.Fields[records_test::kName], record.data(), name);
    std::int32_t n = 0;
    Say("ok " + std::to_string(records::StoreNewRecord(table, record.data(), n) ? n : 0));
  } else if (command == "count") {
    Say("ok " + std::to_string(db::LiveRecordCount(table.Data)));
  } else {
    Say("unknown " + command);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  platform::HeadlessTerminal terminal(80, 25);
  return station::RunStation(argc, argv, terminal, [] {
    const records::TableDef def = records_test::SampleTable();
    records::TableView table(def);
    records::OpenTable(table);
    records::SetCurrentTable(&table);
    station::ServeLines([&](const std::string& line) { return Serve(table, line); });
    records::SetCurrentTable(nullptr);
  });
}
