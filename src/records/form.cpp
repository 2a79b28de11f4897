// The form: a table's fields, label and value on one row each, in a framed
// window in the middle of the screen. EditForm edits a copy of the record
// field by field with the line editor and hands it back on F10; ShowForm
// only draws it (the one-record view).
//
// Values show as stored, numbers right-aligned in their length, dates
// "YYYYMMDD" as "YYYY.MM.DD". A number must read as one and a date must be
// a real day of eight digits (the points may be left out) or empty, and a
// number must fit its field with its decimals; otherwise the cursor stays
// in the field with a beep. On the table's filter record a date is a
// pattern: its eight places take digits or "?".
#include <algorithm>
#include <string>
#include <vector>

#include "console/console.h"
#include "records/widgets.h"
#include "text/text.h"
#include "ui/ui.h"

namespace records {
namespace {

constexpr int kDateWidth = 10;  // "YYYY.MM.DD"
constexpr int kLabelColumn = 2;  // inside the frame

int DisplayWidth(const FieldDef& field) { return field.IsDate() ? kDateWidth : field.Length; }

// Where everything of a form goes: the window (absolute) and, inside it,
// the value column and the fields that fit.
struct FormLayout {
  FormLayout(const TableDef& def, std::string_view title) {
    int labels = 0, values = 1;
    for (const FieldDef& field : def.Fields) {
      labels = std::max(labels, static_cast<int>(field.Label.size()));
      values = std::max(values, DisplayWidth(field));
    }
    valueColumn = kLabelColumn + labels + 2;
    int inner = std::max(valueColumn + values, static_cast<int>(title.size()) + 4);
    inner = std::min(inner, console::ScreenWidth() - 2);
    int rows = std::min(static_cast<int>(def.Fields.size()), console::ScreenHeight() - 3);
    fields = std::max(rows, 0);
    x1 = (console::ScreenWidth() - inner - 2) / 2 + 1;
    y1 = (console::ScreenHeight() - 1 - fields - 2) / 2 + 1;
    x2 = x1 + inner + 1;
    y2 = y1 + std::max(fields, 1) + 1;
    width = inner;
  }
  // The cells a field's value gets: its display width, cut at the frame.
  int ValueWidth(const FieldDef& field) const {
    return std::max(std::min(DisplayWidth(field), width - valueColumn + 1), 1);
  }

  int x1 = 1, y1 = 1, x2 = 1, y2 = 1;
  int width = 1;        // inside the frame
  int valueColumn = 1;  // window-relative
  int fields = 0;       // the fields shown, one per row from the first
};

std::uint8_t ValueAttr() { return console::Inverse(console::TextAttr()); }

bool IsBlank(std::string_view text) { return text.find_first_not_of(' ') == std::string_view::npos; }

// A date as shown: "YYYY.MM.DD", blanks when the field is empty.
std::string ShownDate(const std::string& stored) {
  if (IsBlank(stored) || stored.size() < 8) return std::string(kDateWidth, ' ');
  return stored.substr(0, 4) + '.' + stored.substr(4, 2) + '.' + stored.substr(6, 2);
}

std::string ShownValue(const FieldDef& field, const std::uint8_t* record) {
  std::string stored = FieldText(field, record);
  if (field.IsDate()) return ShownDate(stored);
  if (!field.IsNumeric()) return stored;
  std::string number = text::Trim(stored);
  return std::string(static_cast<std::size_t>(std::max(field.Length - static_cast<int>(number.size()), 0)), ' ') + number;
}

// The text the line editor starts from.
std::string EditText(const FieldDef& field, const std::uint8_t* record) {
  std::string stored = FieldText(field, record);
  if (field.IsDate()) return IsBlank(stored) ? "" : ShownDate(stored);
  return field.IsNumeric() ? text::Trim(stored) : text::TrimRight(stored);
}

// "YYYYMMDD" names a day of the calendar.
bool IsRealDay(const std::string& digits) {
  int year = std::stoi(digits.substr(0, 4)), month = std::stoi(digits.substr(4, 2)),
      day = std::stoi(digits.substr(6, 2));
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1]) return false;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month != 2 || day <= 28 || leap;
}

// Stores the edited text into the field; false, nothing stored, when a
// date or a number does not read.
bool StoreText(const FieldDef& field, std::uint8_t* record, const std::string& typed, bool pattern) {
  std::string text = text::Trim(typed);
  if (field.IsDate()) {
    text.erase(std::remove(text.begin(), text.end(), '.'), text.end());
    bool digits = std::all_of(text.begin(), text.end(),
                              [&](char c) { return (c >= '0' && c <= '9') || (pattern && c == '?'); });
    if (!digits || (!text.empty() && text.size() != 8)) return false;
    if (!pattern && !text.empty() && !IsRealDay(text)) return false;
  } else if (field.IsNumeric()) {
    if (!text.empty() && !text::ReadNumber(text)) return false;
  } else {
    text = typed;
  }
  std::vector<std::uint8_t> tried(record, record + field.Offset - 1 + field.Length);
  SetFieldText(field, tried.data(), text);
  if (field.IsNumeric() && FieldText(field, tried.data()).find('*') != std::string::npos)
    return false;  // too wide for the field: it would read back as 0
  SetFieldText(field, record, text);
  return true;
}

ui::LineEditOptions EditOptions(const FieldDef& field, bool pattern) {
  ui::LineEditOptions options;
  options.MaxLength = DisplayWidth(field);
  options.SelectAll = true;
  options.DigitsOnly = field.IsNumeric() || (field.IsDate() && !pattern);
  return options;
}

// Labels and values into the current text window (inside the frame).
void DrawFields(const TableDef& def, const FormLayout& layout, const std::uint8_t* record) {
  ui::BeginDraw();
  for (int i = 0; i < layout.fields; ++i) {
    const FieldDef& field = def.Fields[static_cast<std::size_t>(i)];
    ui::WriteAt(kLabelColumn, i + 1, field.Label, console::TextAttr());
    std::string value = text::PadRight(ShownValue(field, record), layout.ValueWidth(field), ' ');
    ui::WriteAt(layout.valueColumn, i + 1, value, ValueAttr());
  }
  ui::EndDraw();
}

// The field the key leads to: Enter, Tab and Down the next (the first after
// the last), Up and Shift+Tab the previous, PgUp the first, PgDn the last.
int NextField(int field, std::uint8_t k, int count) {
  switch (k) {
    case key::kUp: case key::kShiftTab: return (field + count - 1) % count;
    case key::kPgUp: return 0;
    case key::kPgDn: return count - 1;
    default: return (field + 1) % count;
  }
}

}  // namespace

std::uint8_t EditForm(TableView& table, std::vector<std::uint8_t>& record, std::string_view title,
                      std::string_view keyHelp) {
  const TableDef& def = table.Def;
  const bool pattern = &record == &table.Filter;
  FormLayout layout(def, title);
  std::vector<std::uint8_t> edited = record;
  widgets::KeyHelpLine help(console::ScreenHeight(), keyHelp);
  ui::Window window(layout.x1, layout.y1, layout.x2, layout.y2);
  window.Title = std::string(title);
  window.Movable = false;
  window.Draw();
  DrawFields(def, layout, edited.data());
  if (layout.fields == 0) return key::kEsc;
  for (int i = 0;;) {
    const FieldDef& field = def.Fields[static_cast<std::size_t>(i)];
    std::string text = EditText(field, edited.data());
    std::uint8_t k = ui::EditLine(layout.valueColumn, i + 1, layout.ValueWidth(field), text,
                                  EditOptions(field, pattern));
    if (k == key::kEsc) return key::kEsc;
    if (!StoreText(field, edited.data(), text, pattern)) {
      ui::Beep();
      continue;
    }
    DrawFields(def, layout, edited.data());
    if (k == key::kF10) {
      record = std::move(edited);
      return key::kF10;
    }
    i = NextField(i, k, layout.fields);
  }
}

void ShowForm(TableView& table, const std::uint8_t* record, std::string_view title) {
  FormLayout layout(table.Def, title);
  ui::ScreenState saved;
  ui::SaveState(saved);
  console::SetWindow(layout.x1, layout.y1, layout.x2, layout.y2);
  ui::FillWindow(' ', console::TextAttr());
  ui::DrawFrame(title, ui::FrameChars(2), ui::RoleAttr(ui::kRoleTitle), ui::RoleAttr(ui::kRoleFrame));
  DrawFields(table.Def, layout, record);
  ui::RestoreState(saved);
}

}  // namespace records
