// The line editor: one field of text edited in place on a row of the current
// window, with sideways scrolling, insert and overwrite, and the exit keys
// that hand control back to the form or dialog around it.
#include <algorithm>

#include "console/console.h"
#include "ui/ui.h"

namespace ui {
namespace {

namespace key = console::key;

constexpr std::uint8_t kCtrlY = 0x19;
constexpr std::uint8_t kDelete = 0x7F;

// The console's special-key codes that share their byte with a character of
// code page 852 but never stand for one: F1..F10, the cursor block, and the
// toolkit's service codes (copy, paste, Ctrl+arrows, Ctrl+PgDn, Ctrl+Home,
// the right button's release). The Hungarian letters are not among them.
bool IsSpecialKey(std::uint8_t k) {
  return (k >= key::kF1 && k <= key::kF10) || (k >= key::kHome && k <= key::kDel) ||
         k == key::kCtrlIns || k == key::kShiftIns || k == key::kCtrlLeft ||
         k == key::kCtrlRight || k == key::kCtrlPgDn || k == key::kCtrlHome ||
         k == code::kRightRelease;
}

bool IsCharacter(std::uint8_t k) { return k >= 0x20 && k != kDelete && !IsSpecialKey(k); }

bool IsNumberCharacter(std::uint8_t k) {
  return (k >= '0' && k <= '9') || k == ' ' || k == '.' || k == '-' || k == '+';
}

bool IsStandardExit(std::uint8_t k) {
  switch (k) {
    case key::kEnter: case key::kEsc: case key::kTab: case key::kShiftTab:
    case key::kUp: case key::kDown: case key::kPgUp: case key::kPgDn: case key::kF10:
      return true;
    default:
      return false;
  }
}

void ApplyShape(int shape) {
  if (shape == 0) CursorHidden();
  else if (shape == 2) CursorHalfBlock();
  else CursorNormal();
}

class LineEditor {
 public:
  LineEditor(int column, int row, int width, std::string& text, const LineEditOptions& options)
      : column_(column), row_(row), width_(std::max(width, 1)), text_(text),
        options_(options), original_(text), selected_(options.SelectAll) {
    attr_ = options.Attr ? options.Attr : console::Inverse(console::TextAttr());
    maxLength_ = std::max(options.MaxLength, 0);
    pos_ = std::min(text_.size(), static_cast<std::size_t>(maxLength_));
  }

  std::uint8_t Run() {
    int shape = CursorShape();
    ShowMode();
    std::uint8_t k = 0;
    for (;;) {
      Draw();
      k = WaitKey();
      if (IsExit(k)) break;
      Handle(k);
    }
    if (k == key::kEsc) text_ = original_;
    selected_ = false;
    first_ = 0;
    Draw();
    ApplyShape(shape);
    return k;
  }

 private:
  bool IsExit(std::uint8_t k) const {
    return IsStandardExit(k) || options_.ExitKeys.find(static_cast<char>(k)) != std::string::npos;
  }

  void Handle(std::uint8_t k) {
    switch (k) {
      case key::kLeft: Move(pos_ > 0 ? pos_ - 1 : 0); break;
      case key::kRight: Move(std::min(pos_ + 1, text_.size())); break;
      case key::kHome: Move(0); break;
      case key::kEnd: Move(text_.size()); break;
      case key::kBackspace: Backspace(); break;
      case key::kDel: Delete(); break;
      case kCtrlY: Clear(); break;
      case key::kIns: insert_ = !insert_; ShowMode(); break;
      case code::kLeftPress: Click(); break;
      default:
        if (IsCharacter(k) && (!options_.DigitsOnly || IsNumberCharacter(k))) Type(static_cast<char>(k));
    }
  }

  void Move(std::size_t to) {
    selected_ = false;
    pos_ = to;
  }

  // A key that deletes takes the whole text while it is selected.
  bool ClearSelection() {
    if (!selected_) return false;
    Clear();
    return true;
  }

  void Clear() {
    selected_ = false;
    text_.clear();
    pos_ = 0;
  }

  void Backspace() {
    if (ClearSelection() || pos_ == 0) return;
    text_.erase(--pos_, 1);
  }

  void Delete() {
    if (ClearSelection() || pos_ >= text_.size()) return;
    text_.erase(pos_, 1);
  }

  void Type(char c) {
    ClearSelection();
    bool room = static_cast<int>(text_.size()) < maxLength_;
    if (pos_ < text_.size() && !insert_) {
      text_[pos_++] = c;
    } else if (room) {
      text_.insert(pos_++, 1, c);
    }
  }

  // A press on the field puts the cursor under the mouse.
  void Click() {
    int left = (console::WindMin() & 0xFF) + column_;
    int top = (console::WindMin() >> 8) + row_;
    int offset = MouseX() - left;
    if (MouseY() != top || offset < 0 || offset >= width_) return;
    Move(std::min(first_ + static_cast<std::size_t>(offset), text_.size()));
  }

  void ShowMode() {
    if (insert_) CursorHalfBlock();
    else CursorNormal();
  }

  // The cell the cursor shows on: its position, except after a text that
  // cannot grow, where it stays on the last character.
  std::size_t CursorCell() const {
    return std::min(pos_, static_cast<std::size_t>(std::max(maxLength_ - 1, 0)));
  }

  // Scrolls so that the cursor's cell is inside the field.
  void Scroll() {
    auto width = static_cast<std::size_t>(width_);
    std::size_t cell = CursorCell();
    if (cell < first_) first_ = cell;
    if (cell >= first_ + width) first_ = cell - width + 1;
  }

  void Draw() {
    Scroll();
    std::string shown = text_.size() > first_ ? text_.substr(first_, width_) : std::string();
    std::size_t used = shown.size();
    shown.resize(static_cast<std::size_t>(width_), ' ');
    BeginDraw();
    WriteAt(column_, row_, shown, attr_);
    if (selected_ && used > 0) WriteAt(column_, row_, shown.substr(0, used), console::Inverse(attr_));
    console::GotoXY(column_ + static_cast<int>(CursorCell() - first_), row_);
    EndDraw();
  }

  int column_, row_, width_;
  std::string& text_;
  const LineEditOptions& options_;
  std::string original_;
  bool selected_;
  std::uint8_t attr_ = 0;
  int maxLength_ = 0;
  std::size_t pos_ = 0, first_ = 0;
  bool insert_ = true;
};

}  // namespace

std::uint8_t EditLine(int column, int row, int width, std::string& text,
                      const LineEditOptions& options) {
  return LineEditor(column, row, width, text, options).Run();
}

}  // namespace ui
