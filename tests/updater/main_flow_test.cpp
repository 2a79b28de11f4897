// The updater's main flow: the customer folder taken from the program's
// name, the work screen, the temporary folder, and whole runs of the flow
// with scripted answers against the loopback FTP server (tests/ftpserver.py,
// started by CTest) serving the stand-in unpacker and installer
// (tools/make_demo_content.py).
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>

#include "console/console.h"
#include "platform/crypto.h"
#include "platform/file.h"
#include "test_servers.h"
#include "updater/updater.h"
#include "updater_fixture.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#endif

using namespace platform::literals;
namespace fs = std::filesystem;

namespace {

// ---- The customer folder ------------------------------------------------------------

TEST(UpdateFolderFor, TheNameAfterTheFirstFiveCharactersIsTheCustomer) {
  EXPECT_EQ(updater::UpdateFolderFor("prgfrMINTA.exe"), "ugy/MINTA");
  EXPECT_EQ(updater::UpdateFolderFor("prgfrMINTA (2).exe"), "ugy/MINTA");
  EXPECT_EQ(updater::UpdateFolderFor("prgfrMINTA[1].exe"), "ugy/MINTA");
  EXPECT_EQ(updater::UpdateFolderFor("prgfrMI(x)NTA[y].exe"), "ugy/MINTA");
  EXPECT_EQ(updater::UpdateFolderFor("prgfrMINTA"), "ugy/MINTA");  // POSIX: no extension
}

TEST(UpdateFolderFor, NothingLeftGivesTheDefaultEdition) {
  EXPECT_EQ(updater::UpdateFolderFor("prgfr MINTA.exe"), "szla22");  // cut at the blank first
  EXPECT_EQ(updater::UpdateFolderFor("abcde.exe"), "szla22");
  EXPECT_EQ(updater::UpdateFolderFor("abc.exe"), "szla22");
  EXPECT_EQ(updater::UpdateFolderFor("prgfr(MINTA).exe"), "szla22");
}

TEST(UpdateFolderFor, AnOpeningBracketWithoutItsCloseStays) {
  EXPECT_EQ(updater::UpdateFolderFor("prgfrMINTA(2.exe"), "ugy/MINTA(2");
  EXPECT_EQ(updater::UpdateFolderFor("prgfrMINTA[1.exe"), "ugy/MINTA[1");
  EXPECT_EQ(updater::UpdateFolderFor("prgfrMI)NTA(2.exe"), "ugy/MI)NTA(2");  // ")" before "("
}

TEST(UpdateFolderFor, OnlyTheFileNameOfAPathCounts) {
  EXPECT_EQ(updater::UpdateFolderFor("C:\\SZLA.22\\prgfrMINTA.exe"), "ugy/MINTA");
  EXPECT_EQ(updater::UpdateFolderFor("/home/x.y/prgfrMINTA"), "ugy/MINTA");
  EXPECT_EQ(updater::UpdateFolderFor("D:prgfrMINTA.exe"), "ugy/MINTA");
}

// ---- The work screen and the temporary folder ------------------------------------------

std::string Chars(int fromColumn, int toColumn, int row) {
  return console::ReadChars(fromColumn, toColumn, row);
}

TEST_F(UpdaterTest, WorkWindowFramesTheScreenAndTheBox) {
  console::SetTextAttr(0x1F);
  updater::OpenWorkWindow(0, 0, 0, 0, 9, true);  // style 9 falls back to the double line

  EXPECT_EQ(Chars(1, 1, 2) + Chars(80, 80, 2), std::string("╔╗"_cp));
  EXPECT_EQ(Chars(1, 1, 24) + Chars(80, 80, 24), std::string("╚╝"_cp));
  EXPECT_EQ(Chars(2, 79, 3), std::string(78, static_cast<char>("░"_cp[0])));
  EXPECT_EQ(console::CellAt(2, 3) >> 8, 0x07);
  EXPECT_EQ(Chars(10, 12, 6), std::string("╔══"_cp));
  EXPECT_EQ(Chars(68, 70, 19), std::string("══╝"_cp));
  EXPECT_EQ(Chars(11, 69, 7), std::string(59, ' '));
  EXPECT_EQ(console::CellAt(11, 7) >> 8, 0x1F);
  // The text window is the inside of the box.
  EXPECT_EQ(console::WindMin(), (6 << 8) | 10);
  EXPECT_EQ(console::WindMax(), (17 << 8) | 68);
}

TEST_F(UpdaterTest, WorkWindowTakesTheFrameStyleAndABoxOfItsOwn) {
  updater::OpenWorkWindow(20, 8, 40, 12, 1, false);
  EXPECT_EQ(Chars(20, 20, 8), ui::FrameChars(1).substr(0, 1));
  EXPECT_EQ(Chars(41, 41, 9), std::string("░"_cp));
  EXPECT_EQ(console::WindMin(), (8 << 8) | 20);
  EXPECT_EQ(console::WindMax(), (10 << 8) | 38);
}

// A fresh folder of the test's own, removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder() {
    static int serial = 0;
    path_ = fs::temp_directory_path() /
            ("tormex-flow-" + std::to_string(std::random_device{}()) + "-" +
             std::to_string(++serial));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchFolder() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Points the system's temporary folder (both platforms' variables) at a folder.
void UseTempFolder(const fs::path& folder) {
  for (const char* name : {"TMPDIR", "TMP", "TEMP"}) SetEnv(name, folder.string());
}

class TempFolderTest : public UpdaterTest {
 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    for (const char* name : {"TMPDIR", "TMP", "TEMP"})
      if (const char* value = std::getenv(name)) saved[name] = value;
  }
  void TearDown() override {
    for (const char* name : {"TMPDIR", "TMP", "TEMP"}) SetEnv(name, saved[name]);
    UpdaterTest::TearDown();
  }
  std::map<std::string, std::string> saved;
  ScratchFolder scratch;
};

TEST_F(TempFolderTest, AWritableTempFolderIsGivenWithItsSeparatorAndTheProbeGone) {
  UseTempFolder(scratch.path());
  std::string folder = updater::GetTempFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(folder.back() == '\\' || folder.back() == '/') << folder;
  EXPECT_TRUE(fs::is_empty(scratch.path()));
  EXPECT_FALSE(term.Showed("gettemppath"));
}

TEST_F(TempFolderTest, AnUnusableTempFolderGivesNothingAfterTheNotice) {
  UseTempFolder(scratch.path() / "missing");
  EXPECT_EQ(updater::GetTempFolder(), "");
  EXPECT_TRUE(term.Showed(std::string("Nincsen vagy hibás a \"gettemppath\", lassabb lesz a program"_cp)));
  EXPECT_TRUE(term.Showed(std::string("  3 másodperc elteltével"_cp)));
}

// ---- Whole runs -------------------------------------------------------------------------

// The normal server of the fixture that tests/ftpserver.py --start wrote.
bool ReadServer(fs::path& root, int& port) {
  TestServers servers;
  if (!ReadServers(servers)) return false;
  root = servers.Root;
  port = servers.Port;
  return true;
}

// Runs of the flow in a scratch folder: program/ holds the program (under
// the name a test gives) and receives what the installer installs; tmp/ is
// the temporary folder. Every message box is answered with Enter, so the
// question is answered "Igen" unless a test types another key first.
class FlowTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    program = scratch.path() / "program";
    temp = scratch.path() / "tmp";
    work = temp / "$TEMPRGR";
    fs::create_directories(program);
    fs::create_directories(temp);
    UseTempFolder(temp);
    SetEnv("TORMEX_INSTALL_FOLDER", program.string());
    SetEnv("TORMEX_FTP_STALL_SECONDS", "5");
    startFolder = fs::current_path();
    // The program's settings (the last release accepted) live beside it.
    console::Settings() = {};
    console::Settings().Stores[0].Path = (program / "prog.res").string();
    console::Settings().Stores[1].Path = (program / "user.res").string();
    updater::Settings() = {};
  }
  void TearDown() override {
    console::Settings() = {};
    updater::Settings() = {};
    fs::current_path(startFolder);
    SetEnv("TORMEX_INSTALL_FOLDER", "");
    SetEnv("TORMEX_FTP_SERVER", "");
    SetEnv("TORMEX_FTP_STALL_SECONDS", "");
    TempFolderTest::TearDown();
  }

  // The server with the content that tools/ builds; skips without it.
  void ServeContent() {
    fs::path root;
    int port = 0;
    const char* content = std::getenv("TORMEX_TEST_SERVER_CONTENT");
    if (!ReadServer(root, port) || !content)
      GTEST_SKIP() << "no test FTP server: run the suite through ctest";
    fs::remove_all(root / "letolt");
    fs::copy(HostPath(content) / "letolt", root / "letolt", fs::copy_options::recursive);
    SetEnv("TORMEX_FTP_SERVER", "127.0.0.1:" + std::to_string(port));
  }

  int Run(const std::string& programName) { return updater::RunUpdater((program / programName).string()); }

  bool InFolder(const fs::path& folder) { return fs::equivalent(fs::current_path(), folder); }

  void ExpectBox(std::size_t index, std::string_view message) {
    ASSERT_GT(boxes.size(), index);
    EXPECT_NE(boxes[index].find(message), std::string::npos) << boxes[index];
  }

  fs::path program, temp, work, startFolder;
};

TEST_F(FlowTest, NemOrEscEndsAtOnceWithoutTouchingAFolder) {
  for (char key : {'N', '\x1b'}) {
    boxes.clear();
    if (key == 'N')
      term.PushChar(key);
    else
      term.PushKey(platform::scan::kEsc, 27);
    EXPECT_EQ(Run("prgfrMINTA.exe"), updater::kExitDone);
    ASSERT_EQ(boxes.size(), 0u);  // the question took the typed key
    EXPECT_TRUE(term.Showed(std::string("Program-frissítő letöltése, majd a programfrissítés indulhat?"_cp)));
    EXPECT_TRUE(fs::is_empty(temp));
    EXPECT_TRUE(InFolder(startFolder));
  }
  // The screen behind the question: the title in the box.
  EXPECT_TRUE(term.Showed(std::string("Tormex - számlakészítő   programfrissítés"_cp)));
  EXPECT_TRUE(term.Showed(std::string(41, '=')));
}

TEST_F(FlowTest, IgenUnpacksTheCustomersPackageAndRunsTheInstaller) {
  ServeContent();
  if (IsSkipped()) return;
  EXPECT_EQ(Run("prgfrMINTA.exe"), updater::kExitDone);

  ASSERT_EQ(boxes.size(), 1u) << boxes.back();  // only the question
  EXPECT_EQ(ReadAll(program / "forras.txt"), "ugy/MINTA\n");
  EXPECT_NE(ReadAll(program / "frissit.txt").find("verzio.txt"), std::string::npos);
  EXPECT_FALSE(fs::exists(work / "pszla.zip"));
  for (const char* name : {"szlamind.zip", "unzip.exe", "frissit.exe"})
    EXPECT_TRUE(fs::exists(work / name)) << name;
  EXPECT_TRUE(InFolder(program));
  for (std::string_view status : {"zip letöltése......"_cp, "unzip.exe letöltése"_cp, "kicsomagolás ......"_cp})
    EXPECT_TRUE(term.Showed(std::string(status))) << status;
}

// Whatever an earlier run left that could pass for this run's files goes
// first: the files in any letter case (POSIX keeps several side by side),
// read-only ones too, and unfinished downloads.
TEST_F(FlowTest, AMissingPackageIsToldAndNoOldInstallerRuns) {
  ServeContent();
  if (IsSkipped()) return;
  fs::create_directories(work);
  fs::copy_file(HostPath(std::getenv("TORMEX_TEST_SERVER_CONTENT")) / "letolt/ugy/MINTA/pszla.zip",
                work / "pszla.zip");
  std::vector<std::string> left = {"UNZIP.EXE", "szlamind.zip", "FRISSIT.EXE", ".pszla.zip.a1B2c3",
                                   "ftp1A2B.tmp"};
#ifndef _WIN32
  left.push_back("frissit.exe");
  left.push_back("Frissit.Exe");
#endif
  for (const std::string& name : left) WriteAll(work / name, "old " + name);
  fs::permissions(work / "FRISSIT.EXE", fs::perms::owner_write, fs::perm_options::remove);

  // A folder without a manifest: nothing else is fetched.
  EXPECT_EQ(Run("prgfrNINCS.exe"), updater::kExitUnsigned);

  ASSERT_EQ(boxes.size(), 4u);
  ExpectBox(1, "Nincs /letolt/ugy/NINCS/pszla.man!");
  ExpectBox(2, std::string("A másolás nem sikerült!"_cp));
  ExpectBox(3, std::string("A frissítés leírása (pszla.man) hiányzik vagy nincs aláírva!"_cp));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(work)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  // Nothing but the run's lock file.
  EXPECT_EQ(names, (std::vector<std::string>{"prgfr.lck"}));
  EXPECT_FALSE(fs::exists(program / "frissit.txt"));
  EXPECT_TRUE(InFolder(program));
}

// Every failure ends with a code of its own, in the order of the flow; a
// transfer that fails (the manifest's too) ends as before, with the files
// missing.
TEST_F(FlowTest, EachKindOfFailureEndsWithItsOwnCode) {
  ServeContent();
  if (IsSkipped()) return;
  TestServers servers;
  ReadServers(servers);
  struct Case {
    int Port;
    int Code;
  } cases[] = {{servers.ClosedPort, updater::kExitNoConnection},
               {servers.HttpPort, updater::kExitNoConnection},
               {servers.RefusePort, updater::kExitNoConnection},
               // The package is there, but its listing breaks off: no "missing".
               {servers.ResetListPort, updater::kExitTransferFailed},
               // Last: a Windows worker that WinINet cannot wake may hold its
               // temporary file while this process runs.
               {servers.StallPort, updater::kExitTransferFailed}};
  for (const Case& c : cases) {
    boxes.clear();
    SetEnv("TORMEX_FTP_SERVER", "127.0.0.1:" + std::to_string(c.Port));
    EXPECT_EQ(Run("prgfrMINTA.exe"), c.Code) << c.Port;
    EXPECT_TRUE(boxes.back().find("Nincs mind:") != std::string::npos) << boxes.back();
  }
  EXPECT_FALSE(fs::exists(program / "frissit.txt"));
}

// Nothing downloaded is used before the manifest vouches for it: a package
// or an unpacker that differs from it by one byte is erased and nothing
// runs; a manifest changed by one byte, or larger than its bound, is
// refused before anything else is fetched.
TEST_F(FlowTest, OnlyWhatTheSignedManifestNamesIsUnpackedAndRun) {
  ServeContent();
  if (IsSkipped()) return;
  fs::path root;
  int port = 0;
  ASSERT_TRUE(ReadServer(root, port));
  const fs::path letolt = root / "letolt", manifest = letolt / "ugy/MINTA/pszla.man";
  const std::string genuineManifest = ReadAll(manifest);
  struct Case {
    fs::path File;
    std::size_t At;  // the byte changed
    int Code;
  } cases[] = {{letolt / "ugy/MINTA/pszla.zip", 1000, updater::kExitFileMismatch},
               {letolt / "unzip.exe", 5000, updater::kExitFileMismatch},
               {manifest, genuineManifest.find("serial 1") + 7, updater::kExitUnsigned},
               {manifest, genuineManifest.size() - 10, updater::kExitUnsigned}};
  for (const Case& c : cases) {
    boxes.clear();
    const std::string genuine = ReadAll(c.File);
    std::string changed = genuine;
    changed[c.At] = static_cast<char>(changed[c.At] ^ 1);
    WriteAll(c.File, changed);
    EXPECT_EQ(Run("prgfrMINTA.exe"), c.Code) << c.File;
    WriteAll(c.File, genuine);
    EXPECT_EQ(boxes.size(), 2u) << c.File;  // the question, the refusal
    EXPECT_FALSE(term.Showed(std::string("kicsomagolás ......"_cp)));
    EXPECT_TRUE(fs::is_empty(work) || fs::directory_iterator(work)->path().filename() == "prgfr.lck");
  }
  ExpectBox(1, std::string("A frissítés leírása (pszla.man) hiányzik vagy nincs aláírva!"_cp));
  // A package announced larger than the manifest says is not fetched whole.
  TestServers servers;
  ReadServers(servers);
  SetEnv("TORMEX_FTP_SERVER", "127.0.0.1:" + std::to_string(servers.HugePort));
  boxes.clear();
  EXPECT_EQ(Run("prgfrMINTA.exe"), updater::kExitFileMismatch);
  ExpectBox(1, std::string("A letöltött pszla.zip nem egyezik az aláírt leírással!"_cp));
  SetEnv("TORMEX_FTP_SERVER", "127.0.0.1:" + std::to_string(port));
  WriteAll(manifest, genuineManifest + std::string(updater::kManifestMaxBytes, '#'));
  boxes.clear();
  EXPECT_EQ(Run("prgfrMINTA.exe"), updater::kExitUnsigned);
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_FALSE(fs::exists(program / "frissit.txt"));
}

// A transfer that breaks goes on from what arrived. A server that ignores
// REST, or a file that changed between attempts, leaves a part that
// differs: it starts once from zero. Each run installs the genuine package
// and leaves no part behind.
TEST_F(FlowTest, ABrokenTransferGoesOnAndOnlyTheGenuineFileIsUsed) {
  ServeContent();
  if (IsSkipped()) return;
  TestServers servers;
  ReadServers(servers);
  for (int port : {servers.BreakPort, servers.NoRestPort, servers.ChangedPort}) {
    boxes.clear();
    fs::remove(program / "frissit.txt");
    SetEnv("TORMEX_FTP_SERVER", "127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(Run("prgfrMINTA.exe"), updater::kExitDone) << port;
    EXPECT_EQ(boxes.size(), 1u) << port << ": " << boxes.back();
    EXPECT_TRUE(fs::exists(program / "frissit.txt")) << port;
    for (const auto& entry : fs::directory_iterator(work)) EXPECT_NE(entry.path().extension(), ".part");
  }
}

// A part that an earlier run left goes on when the manifest names the same
// file (the trickling server could never send a whole file in time); parts
// of other files are erased.
TEST_F(FlowTest, APartLeftByAnEarlierRunGoesOn) {
  ServeContent();
  if (IsSkipped()) return;
  TestServers servers;
  ReadServers(servers);
  const fs::path letolt = HostPath(std::getenv("TORMEX_TEST_SERVER_CONTENT")) / "letolt";
  fs::create_directories(work);
  for (const fs::path& served : {letolt / "ugy/MINTA/pszla.zip", letolt / "unzip.exe"}) {
    const std::string bytes = ReadAll(served);
    const std::string hash = updater::HexOf(platform::Sha256Of(bytes));
    WriteAll(work / (served.filename().string() + "." + hash.substr(0, 16) + ".part"),
             bytes.substr(0, bytes.size() - 1));
  }
  WriteAll(work / "pszla.zip.0123456789abcdef.part", "another release's part");
  SetEnv("TORMEX_FTP_SERVER", "127.0.0.1:" + std::to_string(servers.TricklePort));

  EXPECT_EQ(Run("prgfrMINTA.exe"), updater::kExitDone) << boxes.back();
  EXPECT_TRUE(fs::exists(program / "frissit.txt"));
  for (const auto& entry : fs::directory_iterator(work)) EXPECT_NE(entry.path().extension(), ".part");
}

// The serial of the release accepted last is kept; an older one is refused,
// the same one is taken again.
TEST_F(FlowTest, AnOlderReleaseIsRefusedAndTheAcceptedSerialIsKept) {
  ServeContent();
  if (IsSkipped()) return;
  EXPECT_EQ(Run("prgfrMINTA.exe"), updater::kExitDone);
  EXPECT_NE(ReadAll(program / "prog.res").find("kiadas=1   "), std::string::npos);
  updater::Settings().Release = "2";  // as loaded at start
  boxes.clear();
  EXPECT_EQ(Run("prgfrMINTA.exe"), updater::kExitOlderRelease);
  ExpectBox(1, std::string("A szerveren régebbi kiadás (1) van, mint a már elfogadott (2)!"_cp));
}

// When both downloads fail, the run ends with the code of the one that
// failed first: here the package is missing and the unpacker is not the one
// the manifest names.
TEST_F(FlowTest, WhenBothDownloadsFailTheFirstFailuresCodeCounts) {
  ServeContent();
  if (IsSkipped()) return;
  fs::path root;
  int port = 0;
  ASSERT_TRUE(ReadServer(root, port));
  fs::remove(root / "letolt/ugy/MINTA/pszla.zip");
  WriteAll(root / "letolt/unzip.exe", "not the unpacker the manifest names");
  EXPECT_EQ(Run("prgfrMINTA.exe"), updater::kExitNotOnServer);
  EXPECT_FALSE(fs::exists(work / "unzip.exe"));
}

// One Esc ends the run: nothing more is fetched, run or told.
TEST_F(FlowTest, OneEscDuringTheDownloadEndsTheRun) {
  ServeContent();
  if (IsSkipped()) return;
  TestServers servers;
  ReadServers(servers);
  SetEnv("TORMEX_FTP_SERVER", "127.0.0.1:" + std::to_string(servers.TricklePort));
  Then([this] {  // "Igen", then Esc while the package comes
    Keys({platform::scan::kEnter, platform::scan::kEsc});
  });
  auto start = std::chrono::steady_clock::now();

  EXPECT_EQ(Run("prgfrMINTA.exe"), updater::kExitCancelled);

  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
  ASSERT_EQ(boxes.size(), 0u) << boxes.back();
  EXPECT_FALSE(term.Showed(std::string("unzip.exe letöltése"_cp)));
  for (const char* name : {"pszla.zip", "unzip.exe"}) EXPECT_FALSE(fs::exists(work / name)) << name;
  EXPECT_TRUE(InFolder(program));
}

// Only one run uses "$TEMPRGR" at a time: while another run holds it (its
// lock, as every run of either build takes it), a second says so, ends
// with its own code and touches nothing.
TEST_F(FlowTest, ASecondRunLeavesTheWorkFolderToTheFirst) {
  TestServers servers;
  if (!ReadServers(servers)) GTEST_SKIP() << "no test FTP servers: run the suite through ctest";
  SetEnv("TORMEX_FTP_SERVER", "127.0.0.1:" + std::to_string(servers.ClosedPort));
  fs::create_directories(work);
  WriteAll(work / "pszla.zip", "the first run's download");
  std::unique_ptr<platform::File> first = platform::NewFile();
  ASSERT_EQ(first->Create((work / std::string(updater::WorkFolderLock)).string(),
                          platform::share::kReadWriteDenyNone), 0);
  ASSERT_EQ(first->Lock(0, 1), 0);

  EXPECT_EQ(Run("prgfrMINTA.exe"), updater::kExitBusy);
  ASSERT_EQ(boxes.size(), 2u);
  ExpectBox(1, std::string("Egy másik programfrissítés már dolgozik a \"$TEMPRGR\" munkamappában."_cp));
  EXPECT_EQ(ReadAll(work / "pszla.zip"), "the first run's download");
  EXPECT_FALSE(term.Showed(std::string("zip letöltése"_cp)));
  EXPECT_TRUE(InFolder(program));

  // Once the first has ended, the folder is free again.
  (void)first->Close();
  boxes.clear();
  EXPECT_EQ(Run("prgfrMINTA.exe"), updater::kExitNoConnection);
  EXPECT_FALSE(fs::exists(work / "pszla.zip"));
}

// An installer that fails is told with its exit code, and the run fails.
TEST_F(FlowTest, AFailingInstallerIsToldAndEndsTheRunNonZero) {
  ServeContent();
  if (IsSkipped()) return;
  SetEnv("TORMEX_INSTALL_FOLDER", "");  // the stand-in installer ends with 2

  EXPECT_EQ(Run("prgfrMINTA.exe"), updater::kExitInstallerFailed);

  ASSERT_EQ(boxes.size(), 2u);
  ExpectBox(1, std::string("A telepítő (frissit.exe) hibával fejeződött be, kilépési kód: 2"_cp));
  EXPECT_TRUE(InFolder(program));

  // The whole exit code counts: 65536 is 0 in its low 16 bits only (a
  // POSIX child's code has 8 bits, so only Windows can end with it).
  boxes.clear();
  SetEnv("TORMEX_INSTALL_FOLDER", program.string());
#ifdef _WIN32
  const std::string code = "65536";
#else
  const std::string code = "3";
#endif
  SetEnv("TORMEX_FRISSIT_EXIT", code);
  EXPECT_EQ(Run("prgfrMINTA.exe"), updater::kExitInstallerFailed);
  SetEnv("TORMEX_FRISSIT_EXIT", "");
  ASSERT_EQ(boxes.size(), 2u);
  ExpectBox(1, std::string("A telepítő (frissit.exe) hibával fejeződött be, kilépési kód: "_cp) + code);
  EXPECT_TRUE(fs::exists(program / "frissit.txt"));  // it did its work, then failed
}

#ifndef _WIN32
// "$TEMPRGR" that is not the user's own is never entered: the user is told,
// and nothing is erased, downloaded or run.
TEST_F(FlowTest, AWorkFolderThatIsALinkIsNotUsed) {
  fs::path elsewhere = scratch.path() / "elsewhere";
  WriteAll(elsewhere / "frissit.exe", "someone's file");
  fs::create_directory_symlink(elsewhere, work);
  SetEnv("TORMEX_FTP_SERVER", "127.0.0.1:1");

  EXPECT_EQ(Run("prgfrMINTA"), updater::kExitWorkFolder);

  ASSERT_EQ(boxes.size(), 2u);
  ExpectBox(1, std::string("munkamappa más felhasználóé vagy csak hivatkozás"_cp));
  EXPECT_EQ(ReadAll(elsewhere / "frissit.exe"), "someone's file");
  EXPECT_FALSE(term.Showed(std::string("zip letöltése"_cp)));
  EXPECT_TRUE(InFolder(program));
}

// Runs body in a child process, as the user nobody when the tests run as
// root (who may write anywhere); the child's exit code (-1 when it did not
// end normally).
int AsUnprivileged(const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
    _exit(body());
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// "$TEMPRGR" that the run cannot wholly use is refused before any download:
// one where others can put files (0777 under a shared temporary folder; a
// folder writable by the user's own group is the user's),
// one that holds a stale folder under a download's name, one the user
// cannot write in. A private folder's 0777 one is fine.
TEST_F(FlowTest, AWorkFolderTheRunCannotWhollyUseIsNotUsed) {
  SetEnv("TORMEX_FTP_SERVER", "127.0.0.1:1");
  fs::permissions(temp, fs::perms::all | fs::perms::sticky_bit);  // shared, as /tmp is
  fs::create_directories(work);
  fs::permissions(work, fs::perms::all);
  WriteAll(work / "frissit.exe", "someone's file");
  EXPECT_EQ(Run("prgfrMINTA"), updater::kExitWorkFolder);
  ASSERT_EQ(boxes.size(), 2u);
  ExpectBox(1, std::string("munkamappa más felhasználóé vagy csak hivatkozás"_cp));
  EXPECT_EQ(ReadAll(work / "frissit.exe"), "someone's file");

  // Writable by the user's own group only (a umask of 002): the user's own.
  fs::permissions(work, fs::perms::owner_all | fs::perms::group_all | fs::perms::others_read |
                            fs::perms::others_exec);
  boxes.clear();
  EXPECT_EQ(Run("prgfrMINTA"), updater::kExitNoConnection);  // used: no server there

  fs::permissions(temp, fs::perms::owner_all);  // private: its 0777 folder is the user's alone
  fs::permissions(work, fs::perms::all);
  boxes.clear();
  term.Shown.clear();
  fs::create_directories(work / "UNZIP.EXE" / "inside");  // a folder no erasing removes
  fs::create_directories(work / "szlamind.zip");          // an empty one goes
  EXPECT_EQ(Run("prgfrMINTA"), updater::kExitWorkFolder);
  ASSERT_EQ(boxes.size(), 2u);
  ExpectBox(1, std::string("munkamappa régi fájljai nem törölhetők"_cp));
  EXPECT_FALSE(fs::exists(work / "szlamind.zip"));
  EXPECT_FALSE(fs::exists(work / "frissit.exe"));
  EXPECT_FALSE(term.Showed(std::string("zip letöltése"_cp)));

  fs::remove_all(work);
  fs::create_directories(work);
  if (geteuid() == 0) {
    ASSERT_EQ(chown(temp.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chown(work.c_str(), 65534, 65534), 0);
  }
  fs::permissions(work, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                            fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  boxes.clear();
  term.Shown.clear();
  int code = AsUnprivileged([&] {
    int end = Run("prgfrMINTA");
    bool told = boxes.size() == 2 && boxes[1].find("munkamappába nem lehet írni"_cp) != std::string::npos;
    return told && !term.Showed(std::string("zip letöltése"_cp)) ? end : 100;
  });
  EXPECT_EQ(code, updater::kExitWorkFolder);
}

TEST_F(FlowTest, AWorkFolderOfAnotherUserIsNotUsed) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
  fs::create_directories(work);
  WriteAll(work / "frissit.exe", "someone's file");
  ASSERT_EQ(chown(work.c_str(), 65534, 65534), 0);
  SetEnv("TORMEX_FTP_SERVER", "127.0.0.1:1");

  EXPECT_EQ(Run("prgfrMINTA"), updater::kExitWorkFolder);

  ASSERT_EQ(boxes.size(), 2u);
  ExpectBox(1, std::string("munkamappa más felhasználóé vagy csak hivatkozás"_cp));
  EXPECT_EQ(ReadAll(work / "frissit.exe"), "someone's file");
  EXPECT_TRUE(InFolder(program));
}
#endif

}  // namespace
