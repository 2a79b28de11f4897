// Clearing a folder tree and a single folder.
#include "files/files.h"
#include "files/internal.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "ui/ui.h"

namespace files {
namespace {

using namespace platform::literals;
namespace attr = platform::attr;

std::string Lines(std::string_view first, std::string_view second) {
  return std::string(first) + '\0' + std::string(second);
}

bool IsDots(const std::string& name) { return name == "." || name == ".."; }

// Deletes an entry of the current folder that is not walked into: a file,
// or a link to a folder (removed itself, so the walk never leaves the
// tree). It must lie below folder and not in start.
bool DeleteEntry(const platform::FoundEntry& entry, const std::string& folder,
                 const std::string& start) {
  std::string here = platform::CurrentFolder();
  if (here.rfind(folder, 0) != 0 || here == start) {
    ui::Ask(Lines("Rossz helyen vagyok!"_cp, here), "");
    return false;
  }
  bool linkedFolder = (entry.Attributes & attr::kDirectory) != 0;
  int rc = linkedFolder ? platform::RemoveFolder(entry.Name) : platform::EraseFile(entry.Name);
  if (rc != 0) ui::Ask("Hiba!", "");
  return rc == 0;
}

// Walks the tree below the current folder, which is top, with the current
// folder as the only stack: files are deleted, subfolders entered, and a
// finished subfolder is removed from its parent, whose listing then starts
// again. False on the first refusal or failure.
bool ClearBelow(const std::string& folder, const std::string& top, const std::string& start) {
  platform::DirSearch search;
  platform::FoundEntry entry;
  int rc = search.First("*.*", attr::kAnyFile, entry);
  for (;;) {
    if (rc != 0) {
      std::string here = platform::CurrentFolder();
      if (here == top) return true;
      search.Close();
      if (platform::ChangeFolder("..") != 0 || platform::RemoveFolder(platform::FilePart(here)) != 0)
        return false;
      rc = search.First("*.*", attr::kAnyFile, entry);
      continue;
    }
    bool folderEntry = (entry.Attributes & attr::kDirectory) != 0;
    bool link = (entry.Attributes & attr::kLink) != 0;
    if (!folderEntry || link) {
      if (!DeleteEntry(entry, folder, start)) return false;
    } else if (!IsDots(entry.Name)) {
      if (platform::ChangeFolder(entry.Name) != 0) return false;
      search.Close();
      rc = search.First("*.*", attr::kAnyFile, entry);
      continue;
    }
    rc = search.Next(entry);
  }
}

}  // namespace

bool ClearFolderTree(std::string_view folderName) {
  std::string folder = detail::Cut(folderName);
  std::string start = platform::CurrentFolder();
  if (!folder.empty() && start.find(folder) != std::string::npos) {
    ui::Ask("Benne állok a törlendő mappában!"_cp, "");
    return false;
  }
  if (platform::ChangeFolder(folder) != 0) {
    ui::Ask(Lines("A megadott mappa nem létezik!"_cp, "Nem törlök!"_cp), "");
    detail::ReturnTo(start);
    return false;
  }
  // The top of the walk is the folder as the system names it, so a folder
  // given in another form (relative, other letter case) can never make the
  // walk climb above it.
  bool done = ClearBelow(folder, platform::CurrentFolder(), start);
  detail::ReturnTo(start);
  return done;
}

bool ClearFolder(std::string_view folderName) {
  std::string folder = detail::Cut(folderName);
  platform::DirSearch search;
  platform::FoundEntry entry;
  bool ok = true;
  for (int rc = search.First(folder + "\\*.*", attr::kAnyFile, entry); ok && rc == 0;
       rc = search.Next(entry)) {
    if (!(entry.Attributes & attr::kDirectory))
      ok = platform::EraseFile(folder + "\\" + entry.Name) == 0;
  }
  search.Close();
  return ok && platform::RemoveFolder(folder) == 0;
}

}  // namespace files
