// The sample table of the record layer's tests and their station program:
//   Code   'C'  6 at 6   index 1 "TKOD.idx" (unique)
//   Name   'C' 20 at 12  index 2 "TNEV.idx" (duplicates allowed)
//   Amount 'N'  8 at 32, 2 decimals
//   Date   'C'  8 at 40, shown as a date
// in "TABLA.dat" of 50-byte records (the last byte is the lock byte), or
// longer ones.
#pragma once
#include "records/records.h"

namespace records_test {

enum Field { kCode = 0, kName = 1, kAmount = 2, kDate = 3 };

inline records::TableDef SampleTable(int recLen = 50) {
  using records::FieldDef;
  records::TableDef def;
  def.Title = " Tabla ";
  def.DataFile = "TABLA.dat";
  def.RecLen = recLen;
  def.Fields = {
      FieldDef{'C', 0, 6, 6, true, "Kod", 0},
      FieldDef{'C', 0, 12, 20, false, "Nev", 0},
      FieldDef{'N', 0, 32, 8, false, "Osszeg", 2},
      FieldDef{'C', 'D', 40, 8, false, "Datum", 0},
  };
  def.Indexes = {
      records::IndexDef{"TKOD.idx", 6, false, records::FieldsKey(def.Fields, {kCode}), "Kod"},
      records::IndexDef{"TNEV.idx", 20, true, records::FieldsKey(def.Fields, {kName}), "Nev"},
  };
  def.Row = [fields = def.Fields](const std::uint8_t* record) {
    return records::FieldText(fields[kCode], record) + " " +
           records::FieldText(fields[kName], record);
  };
  def.RowHeader = "Kod    Nev";
  return def;
}

}  // namespace records_test
