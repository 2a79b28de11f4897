// The lists of this layer: rows in the toolkit's pick list, and the path
// and folder choosers that walk drives and folders.
#include <algorithm>

#include "console/console.h"
#include "files/files.h"
#include "files/internal.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "text/text.h"
#include "ui/ui.h"

namespace files {
namespace detail {
namespace {

// A pick-list source over rows; items are 1-based row numbers.
class RowSource {
 public:
  explicit RowSource(const std::vector<std::string>& rows) : rows_(rows) {}

  std::string operator()(int op, std::uint32_t& item, bool& atEnd) {
    int n = static_cast<int>(rows_.size());
    switch (op) {
      case 0: pos_ = item == 0 ? -1 : static_cast<int>(item) - 1; return {};
      case 3: pos_ = static_cast<int>(item) - 1; return {};
      case 4: return Search(item);
      case 1: pos_ = std::max(pos_, -1) + 1; break;
      case 2: pos_ = std::min(pos_, n) - 1; break;
    }
    if (pos_ < 0 || pos_ >= n) {
      pos_ = std::clamp(pos_, -1, n);
      atEnd = true;
      return {};
    }
    item = static_cast<std::uint32_t>(pos_ + 1);
    return rows_[pos_];
  }

 private:
  // The first row that starts with the typed text, compared in upper case.
  std::string Search(std::uint32_t& item) {
    std::string wanted = text::UpperCaseText(ui::SearchText());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
      if (text::UpperCaseText(rows_[i]).rfind(wanted, 0) != 0) continue;
      pos_ = static_cast<int>(i);
      item = static_cast<std::uint32_t>(i + 1);
      return rows_[i];
    }
    return {};
  }

  const std::vector<std::string>& rows_;
  int pos_ = -1;
};

}  // namespace

int PickRowIn(const std::vector<std::string>& rows, std::size_t selected, int x1, int y1, int x2,
              int y2, std::string_view title) {
  if (rows.empty()) return -1;
  std::uint8_t base = ui::BaseAttr();
  ui::SetBaseAttr(console::TextAttr());
  RowSource source(rows);
  std::uint32_t item = static_cast<std::uint32_t>(std::min(selected, rows.size() - 1) + 1);
  ui::PickList(x1, y1, x2, y2, title, std::ref(source), nullptr, item);
  ui::SetBaseAttr(base);
  return static_cast<int>(item) - 1;
}

int PickRow(const std::vector<std::string>& rows, std::size_t selected, int x1, int y1,
            std::string_view title) {
  std::size_t width = 0;
  for (const std::string& row : rows) width = std::max(width, row.size());
  int x2 = std::min(x1 + static_cast<int>(width) + 1, console::ScreenWidth());
  int y2 = std::min(y1 + static_cast<int>(rows.size()) + 1, console::ScreenHeight());
  return PickRowIn(rows, selected, x1, y1, x2, y2, title);
}

}  // namespace detail

namespace {

using namespace platform::literals;
namespace attr = platform::attr;

constexpr std::uint8_t kF10 = 0xC4;
constexpr std::uint8_t kHotkeyOwner = 'F';  // this layer's hotkeys
constexpr int kX1 = 5, kY1 = 2, kX2 = 75, kY2 = 24;

enum class Kind { kDrives, kParent, kFolder, kFile };

struct Entry {
  Kind EntryKind;
  std::string Name;
};

bool AtRoot(const std::string& folder) {
  return folder.empty() || folder.back() == '\\' || folder.back() == '/';
}

std::string Join(const std::string& folder, const std::string& name) {
  return AtRoot(folder) ? folder + name : folder + "\\" + name;
}

bool ByUpperCase(const Entry& a, const Entry& b) {
  return text::UpperCaseText(a.Name) < text::UpperCaseText(b.Name);
}

// The entries of the current folder: the drive list, "..", the subfolders,
// then (with a file mask) the files that match it.
std::vector<Entry> Entries(const std::string& fileMask) {
  std::vector<Entry> entries{{Kind::kDrives, std::string(":EGYSÉGEK"_cp)}};
  if (!AtRoot(platform::CurrentFolder())) entries.push_back({Kind::kParent, ".."});
  std::vector<Entry> folders, found;
  platform::DirSearch search;
  platform::FoundEntry e;
  for (int rc = search.First("*.*", attr::kAnyFile, e); rc == 0; rc = search.Next(e))
    if ((e.Attributes & attr::kDirectory) && e.Name != "." && e.Name != "..")
      folders.push_back({Kind::kFolder, e.Name});
  if (!fileMask.empty()) {
    for (int rc = search.First(fileMask, attr::kAnyFile & ~attr::kDirectory, e); rc == 0;
         rc = search.Next(e))
      found.push_back({Kind::kFile, e.Name});
  }
  std::sort(folders.begin(), folders.end(), ByUpperCase);
  std::sort(found.begin(), found.end(), ByUpperCase);
  entries.insert(entries.end(), folders.begin(), folders.end());
  entries.insert(entries.end(), found.begin(), found.end());
  return entries;
}

std::vector<std::string> Rows(const std::vector<Entry>& entries) {
  std::vector<std::string> rows;
  for (const Entry& e : entries) rows.push_back(e.EntryKind == Kind::kFolder ? e.Name + "\\" : e.Name);
  return rows;
}

// Lets the user pick a drive and enters its root.
void EnterDrive() {
  char letter = ChooseDrive(":EGYSÉGEK"_cp);
  if (letter && platform::ChangeFolder(std::string(1, letter) + ":\\") != 0)
    ui::Ask("Érvénytelen egység!"_cp, "");
}

// The walk of both choosers: with a file mask a file is chosen (Enter on
// it), without one a folder (F10 on the folder shown).
std::string Walk(std::string_view start, const std::string& fileMask, std::string_view title,
                 std::string_view bottom) {
  std::string back = platform::CurrentFolder();
  if (!start.empty() && platform::ChangeFolder(detail::Cut(start)) != 0) {
    ui::Ask("Érvénytelen egység/fájlnév/mappa"_cp, "");
    return {};
  }
  bool folderChosen = false;
  if (fileMask.empty())
    ui::SetHotkey(kHotkeyOwner, kF10, [&folderChosen] {
      folderChosen = true;
      ui::TypeAhead("\r");
    });
  std::string result;
  for (bool walking = true; walking;) {
    std::string here = platform::CurrentFolder();
    std::string heading = std::string(title) + (title.empty() ? " " : "  ") + here + " ";
    std::vector<Entry> entries = Entries(fileMask);
    int chosen = detail::PickRowIn(Rows(entries), 0, kX1, kY1, kX2, kY2,
                                   detail::Cut(heading + '\0' + std::string(bottom)));
    if (folderChosen || chosen < 0) {
      if (folderChosen) result = here;
      break;
    }
    const Entry& entry = entries[chosen];
    switch (entry.EntryKind) {
      case Kind::kDrives: EnterDrive(); break;
      case Kind::kParent: (void)platform::ChangeFolder(".."); break;  // a root stays
      case Kind::kFolder:
        if (platform::ChangeFolder(entry.Name) != 0) ui::Ask("Érvénytelen egység/fájlnév/mappa"_cp, "");
        break;
      case Kind::kFile:
        result = Join(here, entry.Name);
        walking = false;
        break;
    }
  }
  ui::ClearHotkeys(kHotkeyOwner);
  detail::ReturnTo(back);
  return detail::Cut(result);
}

}  // namespace

std::string ChoosePath(std::string_view start, std::string_view fileMask, std::string_view title) {
  std::string mask = fileMask.empty() ? std::string("*.*") : std::string(fileMask);
  return Walk(start, mask, title, std::string(" Ezt keresse: "_cp) + mask + " ");
}

std::string ChooseFolder(std::string_view start, std::string_view prompt) {
  return Walk(start, "", prompt, " F10-kiválaszt Esc-kilép "_cp);
}

}  // namespace files
