// The pick list: a framed, scrolling window over a data source that is asked
// for one item at a time; only the rows of the current page are kept.
#include <algorithm>

#include "console/console.h"
#include "platform/codepage.h"
#include "ui/state.h"

namespace ui {
namespace {

using namespace platform::literals;
namespace key = console::key;

constexpr int kMaxRows = 25;
constexpr std::size_t kRowMax = 156;
constexpr char kColourMark = 1;
constexpr std::uint8_t kF9 = 0xC3;

// Source operations.
enum Op { kStart = 0, kNext = 1, kPrevious = 2, kPosition = 3, kSearch = 4 };

struct Row {
  std::uint32_t Item = 0;
  std::string Text;
};

// The characters that start or extend an incremental search.
bool IsSearchChar(std::uint8_t c) {
  static const std::string kSet =
      std::string(" !%&()*+-./0123456789:<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ\\_"
                  "abcdefghijklmnopqrstuvwxyz") +
      std::string("üéŐőÉöÖÜáíóúÁÍÓÚŰű"_cp);
  return c != 0 && kSet.find(static_cast<char>(c)) != std::string::npos;
}

// What a row shows and in which attribute: a byte just before the first
// character 1 is the row's colour, and the pair is shown as one blank.
void ShownRow(const std::string& text, std::uint8_t bodyAttr, std::string& shown,
              std::uint8_t& attr) {
  attr = bodyAttr;
  std::size_t mark = text.find(kColourMark);
  if (mark == std::string::npos) {
    shown = text;
    return;
  }
  std::size_t colour = mark == 0 ? 0 : mark - 1;
  if (mark > 0) attr = static_cast<std::uint8_t>(text[colour]);
  shown = text.substr(0, colour) + ' ' + text.substr(mark + 1);
}

class List {
 public:
  List(Window& window, const PickSource& source, const PickSearch& dialog)
      : window_(window), source_(source), dialog_(dialog) {
    height_ = std::clamp(window.Y2 - window.Y1 - 1, 0, kMaxRows);
    width_ = std::max(window.X2 - window.X1 - 1, 0);
  }

  // Saves the bottom border and marks the search dialog's key on it.
  void DrawBorder() {
    int n = window_.X2 - window_.X1 - 1;
    border_.resize(static_cast<std::size_t>(std::max(n, 0)) * 2);
    if (n > 0)
      console::SaveRect(window_.X1 + 1, window_.Y2, window_.X2 - 1, window_.Y2, border_.data());
    if (dialog_) WriteOnBorder("K-keresés"_cp);
  }

  // Opens on the initial item (0: the first); false when the source has
  // nothing to show.
  bool Open(std::uint32_t item) { return ShowFrom(kStart, item); }

  // Runs the key loop; the chosen item, or 0 for Esc.
  std::uint32_t Run() {
    for (;;) {
      std::uint8_t k = window_.GetKey();
      switch (k) {
        case key::kEnter: return CurrentItem();
        case key::kEsc: return 0;
        case key::kDown: Navigate(&List::Down); break;
        case key::kUp: Navigate(&List::Up); break;
        case key::kPgDn: Navigate(&List::PageDown); break;
        case key::kPgUp: Navigate(&List::PageUp); break;
        case key::kHome: Navigate(&List::Home); break;
        case key::kEnd: Navigate(&List::End); break;
        case key::kLeft: SetView('1'); break;
        case key::kRight: SetView('2'); break;
        case key::kBackspace: Backspace(); break;
        case kF9: F9(); break;
        case code::kLeftHeld: case code::kLeftDouble: case code::kLeftPress:
        case code::kLeftRelease:
          if (Click(k)) return CurrentItem();
          break;
        default:
          if (IsSearchChar(k)) Typed(k);
      }
    }
  }

 private:
  std::string Read(int op, std::uint32_t& item, bool& atEnd) {
    atEnd = false;
    std::string text = source_(op, item, atEnd);
    if (text.size() > kRowMax) text.resize(kRowMax);
    return text;
  }

  std::uint32_t CurrentItem() const { return current_ > 0 ? rows_[current_ - 1].Item : 0; }

  // Reads a page forward from the source's position. A read that finds no
  // item leaves the page as it was and gives false.
  bool Fill() {
    std::vector<Row> page;
    while (static_cast<int>(page.size()) < height_) {
      Row row;
      bool atEnd = false;
      row.Text = Read(kNext, row.Item, atEnd);
      if (atEnd) break;
      page.push_back(std::move(row));
    }
    if (page.empty()) return false;
    rows_ = std::move(page);
    current_ = std::min(current_, static_cast<int>(rows_.size()));
    return true;
  }

  // A page that starts with the item the source is put on by op (start or
  // position), highlighted on its first row.
  bool ShowFrom(int op, std::uint32_t item) {
    bool atEnd = false;
    Read(op, item, atEnd);
    return ShowFromHere();
  }

  // The same for the item the source stands on.
  bool ShowFromHere() {
    std::uint32_t item = 0;
    bool atEnd = false;
    Read(kPrevious, item, atEnd);
    if (!Fill()) return false;
    current_ = 1;
    Redraw();
    return true;
  }

  // Draws one page row (blank beyond the last), inverted when current.
  void DrawRow(int r) {
    std::string shown;
    std::uint8_t attr = window_.BodyAttr;
    if (r <= static_cast<int>(rows_.size())) ShownRow(rows_[r - 1].Text, attr, shown, attr);
    if (ViewMode() == '2' && static_cast<int>(shown.size()) > width_)
      shown = shown.substr(shown.size() - width_);
    shown.resize(width_, ' ');
    WriteAt(1, r, shown, attr);
    if (r == current_) InvertRow(r);
  }

  void InvertRow(int r) {
    int row = window_.Y1 + r;
    std::string attrs = ReadRowAttrs(window_.X1 + 1, window_.X2 - 1, row);
    for (char& a : attrs) a = static_cast<char>(console::Inverse(static_cast<std::uint8_t>(a)));
    WriteAttrsAt(window_.X1 + 1, window_.X2 - 1, row, attrs);
  }

  void Redraw() {
    BeginDraw();
    for (int r = 1; r <= height_; ++r) DrawRow(r);
    EndDraw();
  }

  // The highlight moves by redrawing both rows, so rows in their own colour
  // come back exactly.
  void MoveTo(int r) {
    int old = current_;
    current_ = r;
    BeginDraw();
    if (old > 0) DrawRow(old);
    DrawRow(r);
    EndDraw();
  }

  // Cursor keys and mouse selections end an incremental search.
  void Navigate(void (List::*move)()) {
    ClearSearch();
    (this->*move)();
  }

  void Down() {
    if (current_ < static_cast<int>(rows_.size())) return MoveTo(current_ + 1);
    if (current_ != height_) return;
    Row row{rows_.back().Item, {}};
    bool atEnd = false;
    Read(kPosition, row.Item, atEnd);
    row.Text = Read(kNext, row.Item, atEnd);
    if (atEnd) return;
    rows_.erase(rows_.begin());
    rows_.push_back(std::move(row));
    Redraw();
  }

  void Up() {
    if (current_ > 1) return MoveTo(current_ - 1);
    if (current_ != 1) return;
    Row row{rows_.front().Item, {}};
    bool atEnd = false;
    Read(kPosition, row.Item, atEnd);
    row.Text = Read(kPrevious, row.Item, atEnd);
    if (atEnd) return;
    rows_.insert(rows_.begin(), std::move(row));
    if (static_cast<int>(rows_.size()) > height_) rows_.pop_back();
    Redraw();
  }

  void PageDown() {
    std::uint32_t item = rows_.back().Item;
    bool atEnd = false;
    Read(kPosition, item, atEnd);
    if (Fill()) Redraw();
  }

  // Reads back up to a page of items before the first row. A full page of
  // them is shown with the highlight kept on its row; fewer (the list's
  // start is near) show the list from its first item with the highlight on
  // the item the old page started with.
  void PageUp() {
    std::uint32_t item = rows_.front().Item;
    bool atEnd = false;
    Read(kPosition, item, atEnd);
    int before = 0;
    std::uint32_t earliest = 0;
    for (; before < height_; ++before) {
      Read(kPrevious, item, atEnd);
      if (atEnd) break;
      earliest = item;
    }
    if (before == 0) return;
    int keep = current_;
    if (!ShowFrom(kPosition, earliest)) return;
    int target = before < height_ ? before + 1 : keep;
    MoveTo(std::min(target, static_cast<int>(rows_.size())));
  }

  void Home() { MoveTo(1); }
  void End() { MoveTo(static_cast<int>(rows_.size())); }

  void SetView(char mode) {
    SetViewMode(mode);
    Redraw();
  }

  // A left-button code over a row selects it; true for a double click,
  // which chooses the row.
  bool Click(std::uint8_t k) {
    int x = MouseX(), y = MouseY();
    bool inside = MouseShown() && window_.X1 < x && x < window_.X2 && window_.Y1 < y &&
                  y < window_.Y2;
    int r = y - window_.Y1;
    if (!inside || r < 1 || r > static_cast<int>(rows_.size())) return false;
    ClearSearch();
    if (r != current_) MoveTo(r);
    return k == code::kLeftDouble;
  }

  void Typed(std::uint8_t c) {
    if (dialog_) {
      if (c == 'K' || c == 'k') RunDialog();
      return;
    }
    State().SearchText += static_cast<char>(c);
    Search();
  }

  void Backspace() {
    std::string& search = State().SearchText;
    if (dialog_ || search.empty()) return;
    search.pop_back();
    Search();
  }

  void RunDialog() {
    State().SearchText.clear();
    std::uint32_t item = 0;
    if (dialog_(item)) ShowFrom(kPosition, item);
  }

  // Incremental search: the first matching item becomes the first row.
  void Search() {
    std::uint32_t item = 0;
    bool atEnd = false;
    if (Read(kSearch, item, atEnd).empty()) return;
    WriteOnBorder(SearchText());
    ShowFromHere();
  }

  void F9() {
    if (State().F9Enabled && State().F9Hook) State().F9Hook(CurrentItem());
  }

  void ClearSearch() {
    State().SearchText.clear();
    if (!dialog_) RestoreBorder();
  }

  void RestoreBorder() {
    if (border_.empty()) return;
    bool shown = MouseShown();
    HideMouse();
    console::RestoreRect(window_.X1 + 1, window_.Y2, window_.X2 - 1, window_.Y2, border_.data());
    if (shown) ShowMouse();
  }

  // A text on the bottom border, two cells right of its corner, in the
  // inverse of the frame attribute.
  void WriteOnBorder(std::string_view text) {
    RestoreBorder();
    int room = std::max(window_.X2 - window_.X1 - 2, 0);
    std::string shown(text.substr(0, std::min<std::size_t>(text.size(), room)));
    if (shown.empty()) return;
    int column = window_.X1 + 2;
    WriteCharsAt(column, window_.X2 - 1, window_.Y2, shown);
    WriteAttrsAt(column, window_.X2 - 1, window_.Y2,
                 std::string(shown.size(), static_cast<char>(console::Inverse(window_.FrameAttr))));
  }

  Window& window_;
  const PickSource& source_;
  const PickSearch& dialog_;
  int height_ = 0, width_ = 0;
  std::vector<Row> rows_;
  int current_ = 0;                   // 1-based page row, 0 while empty
  std::vector<std::uint8_t> border_;  // the bottom border's inner cells
};

}  // namespace

char ViewMode() { return State().ViewMode; }
void SetViewMode(char mode) { State().ViewMode = mode; }
const std::string& SearchText() { return State().SearchText; }

void SetF9Hook(std::function<void(std::uint32_t)> hook, bool enabled) {
  State().F9Hook = std::move(hook);
  State().F9Enabled = enabled;
}

void PickList(int x1, int y1, int x2, int y2, std::string_view title, const PickSource& source,
              const PickSearch& searchDialog, std::uint32_t& item) {
  Window window(x1, y1, x2, y2);
  window.Title = std::string(title);
  window.TitleAttr = window.FrameAttr;
  window.BodyAttr = RoleAttr(kRoleList);
  window.VScroll = true;
  window.VOffset = 1;
  window.Draw();
  console::SetWindow(x1 + 1, y1 + 1, x2 - 1, y2 - 1);

  List list(window, source, searchDialog);
  list.DrawBorder();
  bool filled = list.Open(item);
  State().SearchText.clear();
  if (!filled) {
    Ask("Nincs!"_cp, "");
    item = 0;
    return;
  }
  item = list.Run();
}

}  // namespace ui
