// The dialogs that find the suite's program folder and the update package.
#include "files/files.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "ui/ui.h"
#include "updater/updater.h"

using namespace platform::literals;

namespace updater {

namespace {

// The drive part of a path: "C:" of "C:\x", "\\server\share" of a network
// path; "" when it has none.
std::string DrivePart(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':') return std::string(path.substr(0, 2));
  if (path.size() > 2 && (path.substr(0, 2) == "\\\\" || path.substr(0, 2) == "//")) {
    std::size_t share = path.find_first_of("\\/", 2);
    std::size_t end = share == std::string_view::npos ? share : path.find_first_of("\\/", share + 1);
    return std::string(path.substr(0, end));
  }
  return "";
}

bool Exists(std::string_view folder, std::string_view name) {
  return platform::FileExists(platform::JoinPath(folder, name));
}

}  // namespace

bool ProgramFolderHas(bool withFop, std::string_view folder) {
  if (withFop) return Exists(folder, "fop.exe") && Exists(folder, "PRG\\szamla.exe");
  return Exists(folder, "szamla.exe");
}

bool FindProgramFolder(std::string& folder, bool withFop) {
  const std::string back = platform::CurrentFolder();
  std::string start = DrivePart(back);
  for (;;) {
    folder.clear();
    std::string chosen = files::ChoosePath(start, withFop ? "FOP.EXE" : "SZAMLA.EXE", "");
    if (chosen.empty()) return false;
    folder = platform::FolderPart(chosen);
    start = folder;
    if (ProgramFolderHas(withFop, folder)) break;
    if (ui::Ask("Nem jó! Tovább keres?"_cp, "IN") != 1) {
      folder.clear();
      break;
    }
  }
  (void)platform::ChangeFolder(back);  // the folder it started in, which exists
  return !folder.empty();
}

bool ChoosePackageFolder(std::string& folder) {
  const std::string back = platform::CurrentFolder();
  folder = platform::FolderPart(files::ChoosePath("", "PSZLA.ZIP", ""));
  if (folder.empty()) return false;
  (void)platform::ChangeFolder(back);  // the folder it started in, which exists
  return true;
}

void AskFolderName(std::string& folder, std::string_view prompt) {
  std::string title(" ");
  title.append(prompt).append(" : keressük együtt! "_cp);
  char drive = files::ChooseDrive(title);
  // Without a chosen drive the folder chooser starts on the current folder.
  std::string start = drive ? std::string(1, drive) + ":\\" : std::string();
  folder = files::ChooseFolder(start, prompt);
  if (folder.empty()) ui::Ask("Nincs!", "");
}

}  // namespace updater
