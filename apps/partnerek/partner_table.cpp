#include "partner_table.h"

#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "text/text.h"

namespace partnerek {
namespace {

using namespace platform::literals;

constexpr char kBalancePicture[] = "###.###.###,##";

// A column of the list row: the field, its width, right-aligned or not,
// its head.
struct Column {
  Field ColumnField;
  int Width;
  bool Right;
  std::string_view Head;
};

const std::vector<Column>& Columns() {
  static const std::vector<Column> columns = {
      {kCode, 6, false, "Kód"_cp},
      {kName, 26, false, "Név"_cp},
      {kCity, 15, false, "Város"_cp},
      {kBalance, 14, true, "Egyenleg"_cp},
      {kLastInvoice, 13, false, "Utolsó számla"_cp},
  };
  return columns;
}

std::string Fitted(std::string_view text, const Column& column) {
  if (!column.Right) return text::PadRight(text, column.Width, ' ');
  if (static_cast<int>(text.size()) >= column.Width) return std::string(text);
  return std::string(static_cast<std::size_t>(column.Width) - text.size(), ' ') + std::string(text);
}

// "YYYYMMDD" as "YYYY.MM.DD"; an empty date stays blank.
std::string ShownDate(const std::string& stored) {
  if (text::Trim(stored).empty() || stored.size() < 8) return std::string(10, ' ');
  return stored.substr(0, 4) + "." + stored.substr(4, 2) + "." + stored.substr(6, 2);
}

std::string Cell(const records::TableDef& def, const Column& column, const std::uint8_t* record) {
  const records::FieldDef& field = def.Fields[column.ColumnField];
  if (column.ColumnField == kBalance)
    return text::FormatPicture(kBalancePicture, records::FieldValue(field, record));
  std::string stored = records::FieldText(field, record);
  return column.ColumnField == kLastInvoice ? ShownDate(stored) : stored;
}

std::string Row(const records::TableDef& def, const std::uint8_t* record) {
  std::string row;
  for (const Column& column : Columns()) {
    if (!row.empty()) row += ' ';
    row += Fitted(Cell(def, column, record), column);
  }
  return row;
}

std::string RowHeader() {
  std::string header;
  for (const Column& column : Columns()) {
    if (!header.empty()) header += ' ';
    header += Fitted(column.Head, column);
  }
  return text::TrimRight(header);
}

records::FieldDef Text(int offset, int length, std::string_view label) {
  records::FieldDef field;
  field.Storage = 'C';
  field.Offset = offset;
  field.Length = length;
  field.InFilter = true;
  field.Label = std::string(label);
  return field;
}

std::vector<records::FieldDef> Fields() {
  records::FieldDef balance = Text(75, 12, "Egyenleg"_cp);
  balance.Storage = 'N';
  balance.Decimals = 2;
  records::FieldDef lastInvoice = Text(87, 8, "Utolsó számla"_cp);
  lastInvoice.Display = 'D';
  return {Text(6, 6, "Kód"_cp),      Text(12, 30, "Név"_cp), Text(42, 20, "Város"_cp),
          Text(62, 13, "Adószám"_cp), balance,                lastInvoice};
}

// The indexes: their files and the one field each is keyed by.
struct IndexSpec {
  const char* File;
  Field KeyField;
  bool Duplicates;
};
constexpr IndexSpec kIndexes[] = {{"PARTNER1.idx", kCode, false}, {"PARTNER2.idx", kName, true}};

records::IndexDef Index(const std::vector<records::FieldDef>& fields, const IndexSpec& spec) {
  records::IndexDef index;
  index.FileName = spec.File;
  index.KeyLength = fields[spec.KeyField].Length;
  index.Duplicates = spec.Duplicates;
  index.Key = records::FieldsKey(fields, {spec.KeyField});
  index.Label = fields[spec.KeyField].Label;
  return index;
}

records::TableDef MakeTable() {
  records::TableDef def;
  def.Title = std::string(" Partnerek "_cp);
  def.DataFile = kDataFile;
  def.RecLen = kRecLen;
  def.Fields = Fields();
  for (const IndexSpec& spec : kIndexes) def.Indexes.push_back(Index(def.Fields, spec));
  def.Row = [](const std::uint8_t* record) { return Row(PartnerTable(), record); };
  def.RowHeader = RowHeader();
  return def;
}

// The file name without its extension.
std::string Stem(const std::string& name) { return name.substr(0, name.rfind('.')); }

}  // namespace

const records::TableDef& PartnerTable() {
  static const records::TableDef table = MakeTable();
  return table;
}

std::vector<std::uint8_t> OpenFilter() {
  const records::TableDef& def = PartnerTable();
  std::vector<std::uint8_t> filter = records::BlankRecord(def);
  for (const records::FieldDef& field : def.Fields) {
    if (field.IsNumeric()) continue;
    records::SetFieldText(field, filter.data(), field.IsDate() ? std::string(8, '?') : "?");
  }
  return filter;
}

std::string RebuildLine(int index, std::string_view prefix) {
  const records::TableDef& def = PartnerTable();
  const IndexSpec& spec = kIndexes[index - 1];
  const records::FieldDef& key = def.Fields[spec.KeyField];
  std::string p(prefix);
  return p + Stem(def.DataFile) + " " + p + Stem(spec.File) + " " + std::to_string(def.RecLen) + " " +
         (spec.Duplicates ? "1" : "0") + " " + std::to_string(key.Offset) + " " +
         std::to_string(key.Length);
}

std::vector<std::string> RegisterFiles() {
  std::vector<std::string> names = {kDataFile};
  for (const IndexSpec& spec : kIndexes) names.push_back(spec.File);
  return names;
}

}  // namespace partnerek
