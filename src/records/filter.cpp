// The record filter of the list: the filter record's values under FilterOn,
// otherwise the KeyFrom/KeyTo bounds of the current index's key.
#include "records/records.h"
#include "text/text.h"

namespace records {
namespace {

// A field's text as the filter compares it: upper-cased, without trailing
// blanks and NULs.
std::string Comparable(const FieldDef& field, const std::uint8_t* record) {
  return text::TrimByType(text::UpperCaseText(FieldText(field, record)), 'C');
}

// Every pattern character equals the text's at its position or is "?"; a
// "?" also stands for a position past the text's end (a trailing blank).
bool MatchesPositions(const std::string& pattern, const std::string& text) {
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '?') continue;
    if (i >= text.size() || text[i] != pattern[i]) return false;
  }
  return true;
}

bool NumericFieldPasses(const FieldDef& field, const std::uint8_t* record,
                        const std::uint8_t* filter) {
  double wanted = FieldValue(field, filter);
  return wanted == 0 || wanted == FieldValue(field, record);
}

bool TextFieldPasses(const FieldDef& field, const std::uint8_t* record,
                     const std::uint8_t* filter) {
  std::string text = Comparable(field, record);
  if (field.IsDate() && text.empty() &&
      FieldText(field, filter) == std::string(static_cast<std::size_t>(field.Length), '0'))
    return true;
  std::string pattern = Comparable(field, filter);
  if (pattern.find('?') != std::string::npos) return MatchesPositions(pattern, text);
  return !pattern.empty() && text.find(pattern) != std::string::npos;
}

bool PassesFilter(const TableView& table, const std::uint8_t* record) {
  for (const FieldDef& field : table.Def.Fields) {
    if (!field.InFilter) continue;
    bool passes = field.IsNumeric() ? NumericFieldPasses(field, record, table.Filter.data())
                                    : TextFieldPasses(field, record, table.Filter.data());
    if (!passes) return false;
  }
  return true;
}

// The first bound.size() bytes of key compared with the bound (the index
// holds keys upper-cased, so the bound is compared upper-cased too).
int ComparePrefix(const std::string& key, const std::string& bound) {
  std::string upper = text::UpperCaseText(bound);
  return key.substr(0, upper.size()).compare(upper);
}

bool WithinKeyBounds(const TableView& table, const std::uint8_t* record) {
  if (table.KeyFrom.empty() && table.KeyTo.empty()) return true;
  std::string key = RecordKey(table, table.CurrentIndex, record);
  return ComparePrefix(key, table.KeyFrom) >= 0 && ComparePrefix(key, table.KeyTo) <= 0;
}

}  // namespace

bool RecordFilter(const std::uint8_t* record, bool check) {
  const TableView* table = CurrentTable();
  if (!check || !table) return false;
  return table->FilterOn ? PassesFilter(*table, record) : WithinKeyBounds(*table, record);
}

}  // namespace records
