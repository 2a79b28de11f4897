// The record list: the rows of the current index accepted by RecordFilter,
// a page at a time, in a frame over the screen's rows 2..23 with the column
// heads on its first inner row and the key-help line on row 24.
//
// A page is a handful of (key, record number) pairs with their row texts;
// every move reads only the entries it needs through the index's steps
// (StepNext/StepPrev from a SeekEntry), so a page costs the same on any
// size of table and nothing ever counts or scans the whole table. Records
// are read with PeekRecord: the list takes no locks.
//
// The list stays on screen between ShowList calls. The loops call ShowList
// again after each command and RedrawList in between (after an edit, a
// delete, a group edit step), with forms and boxes opening over the list
// meanwhile; so the list's state (the page, the highlighted row, the screen
// under the frame) lives in a map keyed by the TableView's address, from
// the first ShowList until a ShowList that returns Esc or 0, which puts the
// screen under the list back and forgets the state. A state whose frame is
// no longer on screen when ShowList comes again (a caller that stopped
// without Esc, or a new table at an old table's address) is dropped and the
// list starts afresh; RedrawList draws only a list whose frame is on screen.
#include <algorithm>
#include <map>
#include <optional>

#include "console/console.h"
#include "platform/codepage.h"
#include "records/widgets.h"
#include "text/text.h"
#include "ui/ui.h"

namespace records {
namespace {

using namespace platform::literals;

constexpr int kTop = 2, kBottom = 23, kHelpRow = 24;  // frame rows, key-help row
constexpr int kLeft = 1, kRight = 80;
constexpr int kHeadRow = 1;                              // inside the frame
constexpr int kPageRows = kBottom - kTop - 2;            // data rows below the heads
constexpr int kInnerWidth = kRight - kLeft - 1;

struct Entry {
  std::string key;
  std::int32_t ref = 0;
  std::string row;  // the row text
};

struct ListState {
  std::vector<std::uint8_t> under;  // the screen rows kTop..kBottom before the list
  std::string frameRow;             // the frame's top row as drawn
  int index = 0;                    // the index the page was read in
  std::vector<Entry> page;
  int current = 0;  // 1-based row of the highlight, 0 on an empty page
};

std::map<const TableView*, ListState>& Lists() {
  static std::map<const TableView*, ListState> lists;
  return lists;
}

// ---- Reading entries ------------------------------------------------------------

// Reads accepted entries of the current index forwards or backwards from a
// position. Without the filter, the KeyFrom/KeyTo bounds also end a walk:
// keys are in order, so no key past a bound can be accepted.
class Scanner {
 public:
  explicit Scanner(TableView& table)
      : table_(table), index_(table.Index(table.CurrentIndex)),
        record_(static_cast<std::size_t>(table.Def.RecLen)) {
    if (table.FilterOn) return;
    from_ = text::UpperCaseText(table.KeyFrom);
    to_ = text::UpperCaseText(table.KeyTo);
  }

  // Up to n entries from `from` on (inclusive: from itself when it is still
  // there and accepted), or from the first when from is null; in index order.
  std::vector<Entry> Forward(const Entry* from, bool inclusive, int n) {
    if (from && BeforeFrom(from->key)) from = nullptr;
    std::int32_t ref = 0;
    std::string key;
    bool candidate = false;
    if (!from) {
      if (!SeekEnd(true, ref, key, candidate)) return {};
    } else if (SeekEntry(*from, ref, key)) {
      candidate = inclusive;
    } else {
      if (!SeekAtLeast(from->key, ref, key)) return {};
      candidate = true;
    }
    return Walk(true, n, candidate, ref, key);
  }

  // Up to n entries before `from` (before the end when from is null), in
  // index order.
  std::vector<Entry> Backward(const Entry* from, int n) {
    if (from && PastTo(from->key)) from = nullptr;
    std::int32_t ref = 0;
    std::string key;
    bool candidate = false;
    if (!from) {
      if (!SeekEnd(false, ref, key, candidate)) return {};
    } else if (!SeekEntry(*from, ref, key) && !SeekAtLeast(from->key, ref, key)) {
      db::ResetPosition(index_);  // nothing at or after it: the walk starts at the last
    }
    return Walk(false, n, candidate, ref, key);
  }

  // The record of an entry, read without locks.
  const std::vector<std::uint8_t>& Record(const Entry& entry) {
    db::PeekRecord(table_.Data, entry.ref, record_.data());
    return record_;
  }

 private:
  // Positions for a walk from the list's start (forward) or end: on the
  // first or last item within the key bound, that item being the walk's
  // first candidate, or off the index when there is no bound. False when
  // no item lies within the bound.
  bool SeekEnd(bool forward, std::int32_t& ref, std::string& key, bool& candidate) {
    const std::string& bound = forward ? from_ : to_;
    candidate = !bound.empty();
    if (!candidate) {
      db::ResetPosition(index_);
      return true;
    }
    key = bound;
    return forward ? db::SeekKeyAtLeast(index_, ref, key) : db::SeekLastWithPrefix(index_, ref, key);
  }

  bool SeekEntry(const Entry& entry, std::int32_t& ref, std::string& key) {
    ref = entry.ref;
    key = entry.key;
    return db::SeekEntry(index_, ref, key);
  }

  bool SeekAtLeast(const std::string& wanted, std::int32_t& ref, std::string& key) {
    ref = 0;
    key = wanted;
    return db::SeekKeyAtLeast(index_, ref, key);
  }

  bool BeforeFrom(const std::string& key) const {
    return !from_.empty() && key.compare(0, from_.size(), from_) < 0;
  }
  bool PastTo(const std::string& key) const {
    return !to_.empty() && key.compare(0, to_.size(), to_) > 0;
  }

  // Steps from the position (the item there first when candidate), keeping
  // the accepted entries, until n are found, the index ends or a bound is
  // passed.
  std::vector<Entry> Walk(bool forward, int n, bool candidate, std::int32_t ref, std::string key) {
    std::vector<Entry> found;
    bool more = candidate || Step(forward, ref, key);
    while (more && static_cast<int>(found.size()) < n) {
      if (forward ? PastTo(key) : BeforeFrom(key)) break;
      Entry entry;
      if (Accept(ref, key, entry)) found.push_back(std::move(entry));
      if (static_cast<int>(found.size()) < n) more = Step(forward, ref, key);
    }
    if (!forward) std::reverse(found.begin(), found.end());
    return found;
  }

  bool Step(bool forward, std::int32_t& ref, std::string& key) {
    return forward ? db::StepNext(index_, ref, key) : db::StepPrev(index_, ref, key);
  }

  // A record in use that the filter takes becomes an entry.
  bool Accept(std::int32_t ref, const std::string& key, Entry& entry) {
    db::PeekRecord(table_.Data, ref, record_.data());
    if (!db::RecordInUse() || !RecordFilter(record_.data(), true)) return false;
    entry = {key, ref, RowText(record_.data())};
    return true;
  }

  // The table's row formatter; without one the fields side by side.
  std::string RowText(const std::uint8_t* record) const {
    if (table_.Def.Row) return table_.Def.Row(record);
    std::string row;
    for (const FieldDef& field : table_.Def.Fields) row += FieldText(field, record) + ' ';
    return row;
  }

  TableView& table_;
  db::IndexFile& index_;
  std::vector<std::uint8_t> record_;
  std::string from_, to_;  // the key bounds, upper-cased; empty = none
};

// ---- The list on screen --------------------------------------------------------

// The text window inside the frame for a scope; the output state comes back
// after it.
class InsideFrame {
 public:
  InsideFrame() {
    ui::SaveState(state_);
    console::SetWindow(kLeft + 1, kTop + 1, kRight - 1, kBottom - 1);
  }
  ~InsideFrame() { ui::RestoreState(state_); }
  InsideFrame(const InsideFrame&) = delete;
  InsideFrame& operator=(const InsideFrame&) = delete;

 private:
  ui::ScreenState state_;
};

class List {
 public:
  List(TableView& table, ListState& state) : table_(table), state_(state), scanner_(table) {}

  // Reads the page around the current position and draws the list; false
  // when not a single record is accepted.
  bool Show() {
    Locate();
    DrawFrame();
    DrawRows();
    return !state_.page.empty();
  }

  // The page again from the current position, the frame and heads kept.
  void Refresh() {
    Locate();
    DrawRows();
  }

  // A moving key or a click on a row; false for any other code.
  bool Navigate(std::uint8_t k) {
    switch (k) {
      case key::kDown: Down(); break;
      case key::kUp: Up(); break;
      case key::kPgDn: PageDown(); break;
      case key::kPgUp: PageUp(); break;
      case key::kHome: SetPage(scanner_.Forward(nullptr, true, kPageRows), 1); break;
      case key::kEnd: SetPage(scanner_.Backward(nullptr, kPageRows), kPageRows); break;
      case ui::code::kLeftPress: case ui::code::kLeftHeld: Click(); break;
      default: return false;
    }
    DrawRows();
    return true;
  }

  // The highlighted record becomes the table's position and record buffer.
  void Choose() {
    const Entry& entry = state_.page[static_cast<std::size_t>(state_.current - 1)];
    table_.CurrentKey = entry.key;
    table_.CurrentRecord = entry.ref;
    table_.Record = scanner_.Record(entry);
  }

 private:
  int Size() const { return static_cast<int>(state_.page.size()); }

  // The page keeps its first row where it can (the list does not jump
  // after an edit); the current record is highlighted, and when it is not
  // on that page the page is read from it.
  void Locate() {
    if (state_.index != table_.CurrentIndex) state_.page.clear();
    state_.index = table_.CurrentIndex;
    std::optional<Entry> current = CurrentEntry();
    std::optional<Entry> top = state_.page.empty() || !current ? current : state_.page.front();
    state_.page = PageFrom(top ? &*top : nullptr);
    int row = current ? RowOf(*current) : 1;
    if (row == 0) {
      state_.page = PageFrom(&*current);
      row = RowOf(*current);
      if (row == 0) row = Size();  // nothing at or after it: the list's end
    }
    state_.current = std::min(row, Size());
  }

  std::optional<Entry> CurrentEntry() const {
    if (table_.CurrentRecord == 0) return std::nullopt;
    std::string key = text::UpperCaseText(table_.CurrentKey);
    key.resize(std::min(key.size(), static_cast<std::size_t>(table_.Index(table_.CurrentIndex).KeyLength)));
    return Entry{key, table_.CurrentRecord, {}};
  }

  // A full page from top on; when fewer rows follow it, the rows before it
  // fill the page up.
  std::vector<Entry> PageFrom(const Entry* top) {
    std::vector<Entry> page = scanner_.Forward(top, true, kPageRows);
    if (Size(page) == kPageRows || (page.empty() && !top)) return page;
    const Entry* before = page.empty() ? top : &page.front();
    std::vector<Entry> earlier = scanner_.Backward(before, kPageRows - Size(page));
    page.insert(page.begin(), earlier.begin(), earlier.end());
    return page;
  }

  static int Size(const std::vector<Entry>& page) { return static_cast<int>(page.size()); }

  // The row of entry, or of the first entry after it when the page spans
  // its key; 0 when it lies outside the page.
  int RowOf(const Entry& entry) const {
    const auto& page = state_.page;
    for (int r = 1; r <= Size(); ++r)
      if (page[r - 1].ref == entry.ref && page[r - 1].key == entry.key) return r;
    if (page.empty() || page.front().key > entry.key) return 0;
    for (int r = 1; r <= Size(); ++r)
      if (page[r - 1].key >= entry.key) return r;
    return 0;
  }

  void SetPage(std::vector<Entry> page, int row) {
    if (page.empty()) return;
    state_.page = std::move(page);
    state_.current = std::clamp(row, 1, Size());
  }

  void Down() {
    if (state_.current < Size()) {
      ++state_.current;
      return;
    }
    std::vector<Entry> next = scanner_.Forward(&state_.page.back(), false, 1);
    if (next.empty()) return;
    state_.page.erase(state_.page.begin());
    state_.page.push_back(std::move(next.front()));
  }

  void Up() {
    if (state_.current > 1) {
      --state_.current;
      return;
    }
    std::vector<Entry> previous = scanner_.Backward(&state_.page.front(), 1);
    if (previous.empty()) return;
    state_.page.insert(state_.page.begin(), std::move(previous.front()));
    if (Size() > kPageRows) state_.page.pop_back();
  }

  // The next page; near the end the page ends with the last row. The
  // highlight keeps its row, or goes to the last row when nothing follows.
  void PageDown() {
    std::vector<Entry> next = scanner_.Forward(&state_.page.back(), false, kPageRows);
    if (next.empty()) return SetPage(state_.page, Size());
    std::vector<Entry> joined = state_.page;
    joined.insert(joined.end(), next.begin(), next.end());
    joined.erase(joined.begin(), joined.end() - std::min(Size(joined), kPageRows));
    SetPage(std::move(joined), state_.current);
  }

  void PageUp() {
    std::vector<Entry> previous = scanner_.Backward(&state_.page.front(), kPageRows);
    if (previous.empty()) return SetPage(state_.page, 1);
    previous.insert(previous.end(), state_.page.begin(), state_.page.end());
    previous.resize(static_cast<std::size_t>(std::min(Size(previous), kPageRows)));
    SetPage(std::move(previous), state_.current);
  }

  // A press on a data row highlights it.
  void Click() {
    int row = ui::MouseY() - (kTop + kHeadRow);
    bool inside = ui::MouseShown() && ui::MouseX() > kLeft && ui::MouseX() < kRight;
    if (inside && row >= 1 && row <= Size()) state_.current = row;
  }

  void DrawFrame() {
    ui::ScreenState saved;
    ui::SaveState(saved);
    console::SetWindow(kLeft, kTop, kRight, kBottom);
    ui::FillWindow(' ', Body());
    ui::DrawFrame(Title(), ui::FrameChars(2), ui::RoleAttr(ui::kRoleTitle), ui::RoleAttr(ui::kRoleFrame));
    ui::WriteAt(1, kHeadRow, text::PadRight(table_.Def.RowHeader, kInnerWidth, ' '),
                ui::RoleAttr(ui::kRoleTitle));
    ui::RestoreState(saved);
    state_.frameRow = console::ReadChars(kLeft, kRight, kTop);
  }

  // The table's title on top; the index's label below, and the filter's
  // mark when it is on.
  std::string Title() const {
    const std::string& title = table_.Def.Title;
    const std::string& label = table_.Def.Indexes[static_cast<std::size_t>(table_.CurrentIndex - 1)].Label;
    std::string bottom = label.empty() ? "" : ' ' + label + ' ';
    if (table_.FilterOn) bottom += std::string(" Szürö "_cp);
    return bottom.empty() ? title : title + '\0' + bottom;
  }

  void DrawRows() {
    InsideFrame inside;
    ui::BeginDraw();
    for (int r = 1; r <= kPageRows; ++r) {
      std::string row = r <= Size() ? state_.page[static_cast<std::size_t>(r - 1)].row : "";
      std::uint8_t attr = r == state_.current ? console::Inverse(Body()) : Body();
      ui::WriteAt(1, kHeadRow + r, text::PadRight(row, kInnerWidth, ' '), attr);
    }
    ui::EndDraw();
  }

  static std::uint8_t Body() { return ui::RoleAttr(ui::kRoleList); }

  TableView& table_;
  ListState& state_;
  Scanner scanner_;
};

// ---- Opening and closing -----------------------------------------------------------

// The table's list state while its frame is on screen, else nullptr.
ListState* ShownState(const TableView& table) {
  auto found = Lists().find(&table);
  if (found == Lists().end() || found->second.frameRow != console::ReadChars(kLeft, kRight, kTop))
    return nullptr;
  return &found->second;
}

// The table's list state: the one on screen, or a new one with the screen
// under the list saved.
ListState& OpenState(const TableView& table) {
  if (ListState* shown = ShownState(table)) return *shown;
  ListState& state = Lists()[&table] = ListState{};
  state.under.resize(static_cast<std::size_t>((kRight - kLeft + 1) * (kBottom - kTop + 1) * 2));
  console::SaveRect(kLeft, kTop, kRight, kBottom, state.under.data());
  return state;
}

// Puts the screen under the list back and forgets the list.
void CloseList(const TableView& table) {
  auto found = Lists().find(&table);
  if (found == Lists().end()) return;
  {
    bool shown = ui::MouseShown();
    ui::HideMouse();
    console::RestoreRect(kLeft, kTop, kRight, kBottom, found->second.under.data());
    if (shown) ui::ShowMouse();
  }
  Lists().erase(found);
}

// The key as the exit keys hold it (ASCII letters upper-cased), 0 when it
// is none of them. A double click stands for Enter.
std::uint8_t ExitKey(std::uint8_t k, std::string_view exitKeys) {
  if (k == ui::code::kLeftDouble) k = key::kEnter;
  if (k >= 'a' && k <= 'z') k = static_cast<std::uint8_t>(k - 'a' + 'A');
  return exitKeys.find(static_cast<char>(k)) != std::string_view::npos ? k : 0;
}

}  // namespace

std::uint8_t ShowList(TableView& table, std::string_view keyHelp, std::string_view exitKeys) {
  widgets::CurrentTableScope scope(table);
  List list(table, OpenState(table));
  if (!list.Show()) {
    CloseList(table);
    return 0;
  }
  widgets::KeyHelpLine help(kHelpRow, keyHelp);
  for (;;) {
    std::uint8_t k = ui::WaitKey();
    if (list.Navigate(k)) continue;
    if (std::uint8_t exit = ExitKey(k, exitKeys)) {
      list.Choose();
      if (exit == key::kEsc) CloseList(table);
      return exit;
    }
  }
}

void RedrawList(TableView& table) {
  ListState* shown = ShownState(table);
  if (!shown) return;
  widgets::CurrentTableScope scope(table);
  List(table, *shown).Refresh();
}

}  // namespace records
