// The updater's main flow: one framed screen, one question, and on "Igen"
// the package and the unpacker downloaded into the private working folder
// "$TEMPRGR", the package unpacked, its three files checked and the
// installer started and waited for. Every failure ends in a message and a
// normal return.
#include <algorithm>
#include <string>

#include "console/console.h"
#include "files/files.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/sysinfo.h"
#include "text/text.h"
#include "ui/ui.h"
#include "updater/updater.h"

using namespace platform::literals;

namespace updater {

namespace {

constexpr std::uint8_t kShade = "░"_cp[0];
constexpr std::uint8_t kLightGrey = 0x07;
constexpr int kDefaultFrameStyle = 2;

// The position just after the last "\", "/" or ":" of a path (0 when none).
std::size_t NameStart(std::string_view path) {
  std::size_t separator = path.find_last_of("\\/:");
  return separator == std::string_view::npos ? 0 : separator + 1;
}

// Deletes count characters of s at the 1-based position at, as the short
// strings' delete does: nothing when count is 0 or less.
void Delete(std::string& s, std::size_t at, long count) {
  if (count > 0 && at >= 1 && at <= s.size()) s.erase(at - 1, static_cast<std::size_t>(count));
}

// The 1-based position of the first c in s, 0 when none.
long Pos(char c, const std::string& s) {
  std::size_t at = s.find(c);
  return at == std::string::npos ? 0 : static_cast<long>(at) + 1;
}

// Cuts the part from the first open to the first close out of BaseName; an
// open without a close after it leaves the name as it is.
void CutBracketed(std::string& BaseName, char open, char close) {
  long OpenPos = Pos(open, BaseName);
  if (OpenPos < 1) return;
  long ClosePos = Pos(close, BaseName);
  Delete(BaseName, static_cast<std::size_t>(OpenPos), ClosePos - OpenPos + 1);
}

void ChangeFolderOrEnd(std::string_view folder) {
  if (int error = platform::ChangeFolder(folder)) console::EndProgram(error);
}

// The shaded screen, the framed box with its shadow, the title.
void PaintScreen() {
  ui::FillWindow(kShade, console::TextAttr());
  OpenWorkWindow(0, 0, 0, 0, 3, true);
  ui::WriteAt(1, 1, "Tormex - számlakészítő   programfrissítés"_cp, console::TextAttr());
  ui::WriteAt(1, 2, std::string(41, '='), console::TextAttr());
}

// Creates "$TEMPRGR" (an existing one is fine) and makes it current. False, with the current folder
// unchanged and the user told, when it is not the user's own folder.
bool EnterWorkFolder() {
  platform::MakeFolder(WorkFolder);
  bool foreign = false;
  int error = platform::ChangeToOwnFolder(WorkFolder, foreign);
  if (foreign) {
    ui::Ask(std::string("A \"$TEMPRGR\" munkamappa más felhasználóé vagy csak hivatkozás,"_cp) +
                '\0' + std::string("ezért nem használható: a frissítés elmarad."_cp),
            "");
    return false;
  }
  if (error) console::EndProgram(error);
  return true;
}

// Erases what an earlier run left behind. The package goes too, so that
// nothing from before can pass for this run's download.
void EraseStaleFiles() {
  files::EraseFile("UNZIP.EXE");
  files::EraseFile(FullSetName);
  files::EraseFile("frissit.exe");
  files::EraseFile(PackageName);
}

// Downloads the package and the unpacker; true only when both arrived.
bool DownloadBoth(const std::string& UpdateFolder) {
  StatusHandle StatusSave;
  StatusLine(true, "zip letöltése......"_cp, StatusSave);
  bool AllThere = FtpDownload(UpdateFolder, PackageName);
  StatusLine(false, "", StatusSave);
  StatusLine(true, "unzip.exe letöltése"_cp, StatusSave);
  AllThere = FtpDownload("", "unzip.exe") && AllThere;
  StatusLine(false, "", StatusSave);
  return AllThere;
}

// Unpacks the package, when there is one to unpack.
void Unpack(bool AllThere) {
  StatusHandle StatusSave;
  StatusLine(true, "kicsomagolás ......"_cp, StatusSave);
  if (AllThere) files::RunProgramDirect("unzip.exe", "-qo " + std::string(PackageName), false);
  StatusLine(false, "", StatusSave);
}

// True when the installer's three files are there (tested in this order).
bool InstallerFilesThere() {
  return platform::FileExists(FullSetName) && platform::FileExists("unzip.exe") &&
         platform::FileExists("frissit.exe");
}

// The update proper, in the working folder.
void UpdateIn(const std::string& UpdateFolder) {
  if (!EnterWorkFolder()) return;
  EraseStaleFiles();
  bool AllThere = DownloadBoth(UpdateFolder);
  Unpack(AllThere);
  if (AllThere) AllThere = InstallerFilesThere();
  files::EraseFile(PackageName);
  if (AllThere)
    files::RunProgramDirect("frissit.exe", "", false);
  else
    ui::Ask("Nincs mind:" + std::string(FullSetName) + " unzip.exe frissit.exe", "");
}

}  // namespace

void OpenWorkWindow(int x1, int y1, int x2, int y2, int frameStyle, bool shadow) {
  console::SetWindow(1, 2, 80, 24);
  ui::DrawFrame("", ui::FrameChars(2), console::TextAttr(), console::TextAttr());
  ui::FillWindow(kShade, kLightGrey);
  if (x1 == 0) {
    x1 = 10, y1 = 6, x2 = 70, y2 = 19;
  }
  if (shadow) ui::DrawShadow(x1, y1, x2, y2);
  console::SetWindow(x1, y1, x2, y2);
  ui::FillWindow(' ', console::TextAttr());
  if (frameStyle < 1 || frameStyle > 5) frameStyle = kDefaultFrameStyle;
  ui::DrawFrame("", ui::FrameChars(frameStyle), console::TextAttr(), console::TextAttr());
}

std::string GetTempFolder() {
  std::string path = platform::TempPath();
  if (path.size() > text::kShortMax) path.clear();
  if (!path.empty()) {
    std::string probe = path + "$OWK.$$$";
    if (platform::WriteFileBytes(probe, "") != 0)
      path.clear();
    else if (int error = platform::EraseFile(probe))
      console::EndProgram(error);
  }
  if (path.empty())
    CountdownNotice(3, "Nincsen vagy hibás a \"gettemppath\", lassabb lesz a program"_cp);
  return path;
}

std::string UpdateFolderFor(std::string_view programPath) {
  std::string BaseName(programPath.substr(NameStart(programPath)));
  std::size_t dot = BaseName.rfind('.');
  std::string ExtOrTemp = dot == std::string::npos ? "" : BaseName.substr(dot);
  if (std::size_t at = BaseName.find(ExtOrTemp); !ExtOrTemp.empty() && at != std::string::npos)
    BaseName.erase(at, ExtOrTemp.size());
  if (std::size_t blank = BaseName.find(' '); blank != std::string::npos) BaseName.erase(blank);
  CutBracketed(BaseName, '(', ')');
  CutBracketed(BaseName, '[', ']');
  BaseName.erase(0, std::min<std::size_t>(5, BaseName.size()));
  return text::Short(BaseName.empty() ? std::string(kDefaultDataFolder) : "ugy/" + BaseName);
}

void RunUpdater(std::string_view programPath) {
  PaintScreen();
  if (ui::Ask("Program-frissítő letöltése, majd a programfrissítés indulhat?"_cp, "IN") != 1)
    return;
  std::string ExtOrTemp = GetTempFolder();
  if (!ExtOrTemp.empty()) ChangeFolderOrEnd(ExtOrTemp);
  std::string StartFolder = text::Short(files::FolderPart(programPath));
  UpdateIn(UpdateFolderFor(programPath));
  ChangeFolderOrEnd(StartFolder);
}

void RunUpdater() { RunUpdater(platform::ProgramPath()); }

}  // namespace updater
