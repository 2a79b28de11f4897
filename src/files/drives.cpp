// The drives: presence, labels, free space and the two drive choosers.
#include <cctype>

#include "console/console.h"
#include "files/files.h"
#include "files/internal.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "text/text.h"

namespace files {
namespace {

using namespace platform::literals;

constexpr int kListColumn = 30, kListRow = 10;

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }
char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::string Root(char letter) { return std::string(1, letter) + ":\\"; }

// The 11-character type label of a drive.
std::string TypeLabel(char letter) {
  if (letter == 'A' || letter == 'B') return " Floppy    ";
  switch (platform::DriveType(Root(letter))) {
    case platform::drive::kUnknown: return " Ismeretlen";
    case platform::drive::kRemovable: return std::string(" Cserélhető"_cp);
    case platform::drive::kFixed: return std::string(" Fix egység"_cp);
    case platform::drive::kRemote: return std::string(" Hálózati  "_cp);
    case platform::drive::kCdRom: return " CD-ROM    ";
    case platform::drive::kRamDisk: return std::string(" Memória   "_cp);
    default: return std::string(11, ' ');
  }
}

// "CcC: " + label padded to 20 + type.
std::string DriveRow(char letter) {
  return std::string{letter, Lower(letter), letter, ':', ' '} +
         text::PadRight(VolumeLabel(std::string(1, letter)), 20, ' ') + TypeLabel(letter);
}

// "Cc    C:" + label cut to 20 + type.
std::string TargetRow(char letter) {
  return std::string{letter, Lower(letter)} + "    " + letter + ":" +
         VolumeLabel(std::string(1, letter)).substr(0, 20) + TypeLabel(letter);
}

char ChosenLetter(const std::vector<std::string>& rows, std::size_t selected,
                  std::string_view title) {
  int chosen = detail::PickRow(rows, selected, kListColumn, kListRow, title);
  return chosen < 0 ? 0 : rows[chosen][0];
}

// The drive letter of the current folder; 0 when it has none.
char CurrentDrive() {
  std::string here = platform::CurrentFolder();
  return here.size() >= 2 && here[1] == ':' ? Upper(here[0]) : 0;
}

}  // namespace

bool DrivePresent(char letter) {
  char upper = Upper(letter);
  if (upper < 'A' || upper > 'Z') return false;
  return (platform::LogicalDrives() >> (upper - 'A')) & 1;
}

std::string VolumeLabel(std::string_view drive) {
  std::string root(drive);
  if (root.size() == 1) root += ':';
  if (root.empty() || root.back() != '\\') root += '\\';
  std::string label;
  if (!platform::VolumeLabel(root, label)) return {};
  return detail::Cut(text::Win1250Text(label, false));
}

char ChooseDrive(std::string_view title) {
  std::vector<std::string> rows;
  for (char letter = 'A'; letter <= 'Z'; ++letter)
    if (DrivePresent(letter)) rows.push_back(DriveRow(letter));
  return ChosenLetter(rows, 0, title);
}

char ChooseTargetDrive(char skipFloppies, char preselect, std::string_view title) {
  std::vector<std::string> rows;
  std::size_t selected = 0;
  char current = CurrentDrive();
  for (char letter = skipFloppies == 'B' ? 'C' : 'A'; letter <= 'Z'; ++letter) {
    if (!DrivePresent(letter) || letter == current) continue;
    if (letter > 'B' && !(DriveFreeSpace(letter) > 0)) continue;
    if (letter == Upper(preselect)) selected = rows.size();
    rows.push_back(TargetRow(letter));
  }
  return ChosenLetter(rows, selected, std::string(title) + std::string("egysége "_cp));
}

double DriveFreeSpace(char letter) {
  std::string root = Root(Upper(letter));
  std::string back = platform::CurrentFolder();
  if (platform::ChangeFolder(root) != 0) return 0;
  std::uint64_t bytes = 0;
  (void)platform::DiskFreeSpace(root, bytes);  // untold, it stays 0
  detail::ReturnTo(back);
  return static_cast<double>(bytes);
}

}  // namespace files
