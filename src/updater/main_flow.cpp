// The updater's main flow: one framed screen, one question, and on "Igen"
// the package and the unpacker downloaded into the private working folder
// "$TEMPRGR", the package unpacked, its three files checked and the
// installer started and waited for. Every failure ends in a message and a
// return with its exit code.
#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "console/console.h"
#include "files/files.h"
#include "platform/codepage.h"
#include "platform/crypto.h"
#include "platform/errors.h"
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/path.h"
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

// Tells that "$TEMPRGR" cannot be used, and why (first line).
void RefuseWorkFolder(std::string_view why) {
  ui::Ask(std::string(why) + '\0' + std::string("ezért nem használható: a frissítés elmarad."_cp), "");
}

// Creates "$TEMPRGR" (an existing one is fine) and makes it current. False, with the current folder
// unchanged and the user told, when it is not the user's own folder.
bool EnterWorkFolder() {
  (void)platform::MakeFolder(WorkFolder);  // an existing one is fine; the change tells the rest
  bool foreign = false;
  int error = platform::ChangeToOwnFolder(WorkFolder, foreign);
  if (foreign) {
    RefuseWorkFolder("A \"$TEMPRGR\" munkamappa más felhasználóé vagy csak hivatkozás,"_cp);
    return false;
  }
  if (error) console::EndProgram(error);
  return true;
}

// How the working folder is held for one run (see TakeWorkFolder).
enum class Held { kHeld, kBusy, kUnwritable };

// Holds the working folder (the current folder) for this run: an
// exclusive byte-range lock on its lock file, which every updater of
// either build takes before it touches the folder, kept until the handle
// goes. kBusy when another run holds it; kUnwritable when the lock file
// cannot be made or opened, or a file cannot be created in the folder.
Held TakeWorkFolder(platform::File& lock) {
  constexpr int kShared = platform::share::kReadWriteDenyNone;
  int rc = lock.Open(WorkFolderLock, kShared);
  if (rc == platform::error::kFileNotFound) rc = lock.Create(WorkFolderLock, kShared);
  if (rc == 0) rc = lock.Lock(0, 1);
  if (rc == platform::error::kLockViolation) return Held::kBusy;
  const std::string probe = "$OWK.$$$";
  if (rc == 0) rc = platform::WriteFileBytes(probe, "");
  if (rc == 0) (void)platform::EraseFile(probe);  // an empty probe that stays harms nothing
  return rc == 0 ? Held::kHeld : Held::kUnwritable;
}

// TakeWorkFolder, with the user told when the folder cannot be held; 0 or
// the run's exit code.
int HoldWorkFolder(platform::File& lock) {
  switch (TakeWorkFolder(lock)) {
    case Held::kHeld: return kExitDone;
    case Held::kBusy:
      ui::Ask(std::string("Egy másik programfrissítés már dolgozik a \"$TEMPRGR\" munkamappában."_cp) +
                  '\0' + std::string("Várja meg, amíg befejeződik, és indítsa újra!"_cp),
              "");
      return kExitBusy;
    case Held::kUnwritable: break;
  }
  RefuseWorkFolder("A \"$TEMPRGR\" munkamappába nem lehet írni,"_cp);
  return kExitWorkFolder;
}

// The names, in any letter case, of what an earlier run may have left in the
// working folder: the files of a run and the unfinished downloads (POSIX
// ".<name>.XXXXXX", Win32 "ftpXXXX.tmp"), and folders of those names.
constexpr std::string_view kLeftByEarlierRuns[] = {
    PackageName, "unzip.exe", FullSetName,   "frissit.exe", ManifestName, ".pszla.zip.*", ".unzip.exe.*",
    ".pszla.man.*", "ftp*.tmp"};

bool LeftByEarlierRun(std::string_view name) {
  for (std::string_view pattern : kLeftByEarlierRuns)
    if (platform::NameMatches(pattern, name)) return true;
  return false;
}

// The entries of the current folder that an earlier run left (a folder
// under such a name too: it would stand in a download's way).
std::vector<std::string> EarlierRunsFiles() {
  std::vector<std::string> names;
  platform::DirSearch search;
  platform::FoundEntry entry;
  const std::uint32_t kinds = platform::attr::kHidden | platform::attr::kSystem | platform::attr::kDirectory;
  for (int rc = search.First("*.*", kinds, entry); rc == 0; rc = search.Next(entry))
    if (LeftByEarlierRun(entry.Name)) names.push_back(entry.Name);
  return names;
}

// Erases what earlier runs left (read-only files and empty folders too), so
// that nothing from before can pass for this run's download or unpacking.
// False, with the user told, when something stays.
bool EraseStaleFiles() {
  for (const std::string& name : EarlierRunsFiles()) {
    (void)platform::SetAttributes(name, 0);  // what stays is found below
    if (!files::EraseFile(name)) (void)platform::RemoveFolder(name);
  }
  if (EarlierRunsFiles().empty()) return true;
  RefuseWorkFolder("A \"$TEMPRGR\" munkamappa régi fájljai nem törölhetők,"_cp);
  return false;
}

// A refusal of the update, told in two lines; returns code.
int Refuse(int code, const std::string& what, std::string_view then) {
  ui::Ask(what + '\0' + std::string(then), "");
  return code;
}

std::int64_t NowUtc() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

// Tells why the manifest was refused; the run's exit code.
int RefuseManifest(ManifestCheck check, const Manifest& manifest) {
  using std::string;
  switch (check) {
    case ManifestCheck::kAccepted: return kExitDone;
    case ManifestCheck::kOlder:
      return Refuse(kExitOlderRelease,
                    string("A szerveren régebbi kiadás ("_cp) + std::to_string(manifest.Serial) +
                        string(") van, mint a már elfogadott ("_cp) + std::to_string(AcceptedRelease()) + ")!",
                    "A frissítés elmarad."_cp);
    case ManifestCheck::kExpired:
      return Refuse(kExitExpired, string("A frissítés leírása lejárt: "_cp) + FormatUtc(manifest.Expires).substr(0, 10),
                    "Ellenőrizze a számítógép dátumát!"_cp);
    case ManifestCheck::kBadSignature: break;
  }
  return Refuse(kExitUnsigned, string("A frissítés leírása (pszla.man) hiányzik vagy nincs aláírva!"_cp),
                "A frissítés elmarad, semmi sem indul el."_cp);
}

// Downloads and checks the manifest before anything else: 0 with manifest
// accepted (its serial kept as the last accepted), or the run's exit code
// with the user told. The manifest's file is not kept.
int AcceptManifest(const std::string& UpdateFolder, Manifest& manifest) {
  Downloaded got = FetchFile(UpdateFolder, ManifestName, kManifestMaxBytes);
  if (got != Downloaded::kDone && got != Downloaded::kNotOnServer && got != Downloaded::kTooLarge)
    return ExitCodeOf(got);
  std::string text;
  ManifestCheck check = ManifestCheck::kBadSignature;
  if (got == Downloaded::kDone && platform::ReadFileBytes(ManifestName, text) == 0)
    check = CheckManifest(text, UpdateFolder, AcceptedRelease(), NowUtc(), manifest);
  files::EraseFile(ManifestName);
  if (check == ManifestCheck::kAccepted) SaveAcceptedRelease(manifest.Serial);
  return RefuseManifest(check, manifest);
}

// How often a broken transfer goes on from what has arrived, in one run.
constexpr int kResumes = 3;

// The part file of a download: named after the hash the manifest gives the
// file, so that a part an earlier run left goes on only for the same file.
std::string PartName(const ManifestFile& entry) {
  return entry.Name + "." + HexOf(entry.Sha256).substr(0, 16) + ".part";
}

// Erases the part files that the manifest does not name (earlier runs'
// parts of other releases).
void EraseOtherParts(const Manifest& manifest) {
  platform::DirSearch search;
  platform::FoundEntry entry;
  std::vector<std::string> others;
  for (int rc = search.First("*.part", platform::attr::kHidden, entry); rc == 0; rc = search.Next(entry))
    if (entry.Name != PartName(*manifest.File(PackageName)) && entry.Name != PartName(*manifest.File("unzip.exe")))
      others.push_back(entry.Name);
  for (const std::string& name : others) files::EraseFile(name);
}

// True when file has the manifest entry's size and SHA-256.
bool Matches(const std::string& file, const ManifestFile& entry) {
  platform::Sha256Digest digest{};
  std::uint64_t size = 0;
  return platform::Sha256OfFile(file, digest, size) && size == entry.Size && digest == entry.Sha256;
}

std::uint64_t SizeOf(const std::string& file) {
  std::uint64_t size = 0;
  return platform::GetFileSize(file, size) == 0 ? size : 0;
}

// Downloads name into its part file and gives the part the name once it has
// the manifest's size and SHA-256; the exit code. A transfer that breaks
// goes on from what arrived, up to kResumes times; a part that does not
// match (a server that ignored REST, a file changed between attempts, or a
// part that a broken transfer could not continue) starts once from zero. A
// file that still differs is erased and told (kExitFileMismatch).
int FetchChecked(const std::string& folder, std::string_view name, const Manifest& manifest) {
  const ManifestFile& entry = *manifest.File(name);  // the check demands both files
  const std::string part = PartName(entry);
  int resumes = 0;
  bool restarted = false;
  bool continued = SizeOf(part) > 0;  // some bytes did not come in this attempt
  for (;;) {
    const std::uint64_t before = SizeOf(part);
    const bool mayResume = resumes < kResumes;
    Downloaded got = FetchFilePart(folder, name, part, entry.Size, !mayResume);
    // A transfer that ended short of the manifest's size broke off, whatever
    // the server said.
    const bool cameShort = got == Downloaded::kDone && SizeOf(part) < entry.Size;
    if (cameShort) got = Downloaded::kBroken;
    if (got == Downloaded::kBroken && mayResume) {
      ++resumes;
      continued = true;
      if (SizeOf(part) > before || restarted) continue;
      files::EraseFile(part);  // no step forward: once from zero
      restarted = true;
      continue;
    }
    if (cameShort) TellEnd(got, DownloadPath(folder, name));  // after the last resume
    if (got == Downloaded::kNoRoom) files::EraseFile(part);  // a part kept would hold the room it lacks
    if (got != Downloaded::kDone && got != Downloaded::kTooLarge) return ExitCodeOf(got);
    if (got == Downloaded::kDone && Matches(part, entry)) {
      if (int error = platform::RenameFile(part, name)) console::EndProgram(error);
      return kExitDone;
    }
    files::EraseFile(part);
    if (continued && !restarted) {
      restarted = true;
      continued = false;
      continue;
    }
    return Refuse(kExitFileMismatch,
                  std::string("A letöltött "_cp) + std::string(name) + std::string(" nem egyezik az aláírt leírással!"_cp),
                  "A fájl törölve, a frissítés elmarad."_cp);
  }
}

// Downloads the package and the unpacker; the exit code of the first that
// failed (kExitDone when both arrived). A cancelled package download is
// the end: the unpacker is not fetched.
int DownloadBoth(const std::string& UpdateFolder, const Manifest& manifest) {
  StatusHandle StatusSave;
  StatusLine(true, "zip letöltése......"_cp, StatusSave);
  int package = FetchChecked(UpdateFolder, PackageName, manifest);
  StatusLine(false, "", StatusSave);
  if (package == kExitCancelled || package == kExitFileMismatch) return package;
  StatusLine(true, "unzip.exe letöltése"_cp, StatusSave);
  int unpacker = FetchChecked("", "unzip.exe", manifest);
  StatusLine(false, "", StatusSave);
  return package != kExitDone ? package : unpacker;
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

// Runs the installer and waits for it; a failure (it did not start, or it
// ended with another exit code than 0) is told. The whole exit code counts:
// one that is 0 in its low 16 bits only (65536) is a failure.
int Install() {
  files::State().StartError = 0;
  (void)files::RunProgramDirect("frissit.exe", "", false);  // its low 16 bits only
  std::uint32_t code = files::State().ExitCode;
  if (int error = files::State().StartError) {
    ui::Ask(std::string("A telepítő (frissit.exe) nem indítható el, hibakód: "_cp) + std::to_string(error), "");
    return kExitInstallerFailed;
  }
  if (code == 0) return kExitDone;
  ui::Ask(std::string("A telepítő (frissit.exe) hibával fejeződött be, kilépési kód: "_cp) +
              std::to_string(code) + '\0' + std::string("A frissítés nem teljes!"_cp),
          "");
  return kExitInstallerFailed;
}

// True for the ends after which nothing more runs or is told: the user's
// Esc, and each refusal of what the maker did not sign.
bool EndsAtOnce(int code) {
  return code == kExitCancelled || code == kExitUnsigned || code == kExitFileMismatch ||
         code == kExitOlderRelease || code == kExitExpired;
}

// The update proper, in the working folder; its exit code.
int UpdateIn(const std::string& UpdateFolder) {
  if (!EnterWorkFolder()) return kExitWorkFolder;
  std::unique_ptr<platform::File> lock = platform::NewFile();  // held until the run ends
  if (int code = HoldWorkFolder(*lock)) return code;
  if (!EraseStaleFiles()) return kExitWorkFolder;
  Manifest manifest;
  int code = AcceptManifest(UpdateFolder, manifest);
  if (code == kExitDone) {
    EraseOtherParts(manifest);
    code = DownloadBoth(UpdateFolder, manifest);
  }
  if (EndsAtOnce(code)) {
    files::EraseFile(PackageName);
    files::EraseFile("unzip.exe");
    return code;
  }
  bool AllThere = code == kExitDone;
  Unpack(AllThere);
  if (AllThere) AllThere = InstallerFilesThere();
  files::EraseFile(PackageName);
  if (AllThere) return Install();
  ui::Ask("Nincs mind:" + std::string(FullSetName) + " unzip.exe frissit.exe", "");
  return code != kExitDone ? code : kExitIncomplete;
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
  std::string BaseName(platform::FilePart(programPath));
  std::string Extension(platform::Extension(BaseName));
  if (std::size_t at = BaseName.find(Extension); !Extension.empty() && at != std::string::npos)
    BaseName.erase(at, Extension.size());
  if (std::size_t blank = BaseName.find(' '); blank != std::string::npos) BaseName.erase(blank);
  CutBracketed(BaseName, '(', ')');
  CutBracketed(BaseName, '[', ']');
  BaseName.erase(0, std::min<std::size_t>(5, BaseName.size()));
  return text::Short(BaseName.empty() ? std::string(kDefaultDataFolder) : "ugy/" + BaseName);
}

int RunUpdater(std::string_view programPath) {
  PaintScreen();
  if (ui::Ask("Program-frissítő letöltése, majd a programfrissítés indulhat?"_cp, "IN") != 1)
    return kExitDone;
  std::string TempFolder = GetTempFolder();
  if (!TempFolder.empty()) ChangeFolderOrEnd(TempFolder);
  std::string StartFolder = text::Short(platform::FolderPart(programPath));
  int code = UpdateIn(UpdateFolderFor(programPath));
  ChangeFolderOrEnd(StartFolder);
  return code;
}

int RunUpdater() { return RunUpdater(platform::ProgramPath()); }

}  // namespace updater
