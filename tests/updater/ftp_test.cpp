// The server operations against real loopback FTP servers (tests/ftpserver.py,
// started by CTest around this suite): what lands where, what the user is
// told, and that a silent server cannot hold the program for long.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "../deadline.h"
#include "platform/ftp.h"
#include "test_servers.h"
#include "updater/updater.h"
#include "updater_fixture.h"

using namespace platform::literals;
namespace fs = std::filesystem;

namespace {

constexpr int kStallSeconds = 2;
// The bound of a transfer that the server holds up: the stall time and
// some seconds of start-up.
constexpr std::chrono::seconds kHeldUpBound(kStallSeconds + 8);

// Every byte value, in an order that a text-mode transfer would spoil.
std::string BinaryContent(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t x = 12345;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 1103515245 + 12345;
    bytes[i] = static_cast<char>(i < 512 ? (i % 2 ? "\r\n"[i / 2 % 2] : i / 2) : x >> 16);
  }
  return bytes;
}

class FtpTest : public UpdaterTest {
 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    if (!ReadServers(servers))
      GTEST_SKIP() << "no test FTP servers: run the suite through ctest (TORMEX_TEST_FTP_STATE)";
    fs::remove_all(servers.Root / "letolt");
    fs::create_directories(servers.Root / "letolt");
    static int serial = 0;
    local = fs::temp_directory_path() / ("tormex-ftp-local-" + std::to_string(++serial) + "-" +
                                         std::to_string(std::rand()));
    fs::remove_all(local);
    fs::create_directories(local);
    startFolder = fs::current_path();
    fs::current_path(local);
    UseServer(servers.Port);
    SetEnv("TORMEX_FTP_STALL_SECONDS", std::to_string(kStallSeconds));
  }
  void TearDown() override {
    if (!startFolder.empty()) fs::current_path(startFolder);
    std::error_code ec;
    if (!local.empty()) fs::remove_all(local, ec);
    SetEnv("TORMEX_FTP_SERVER", "");
    SetEnv("TORMEX_FTP_STALL_SECONDS", "");
    UpdaterTest::TearDown();
  }

  void UseServer(int port) { SetEnv("TORMEX_FTP_SERVER", "127.0.0.1:" + std::to_string(port)); }
  // A file on the server, by its path under the server's root.
  void Serve(const std::string& path, const std::string& bytes) { WriteAll(servers.Root / path, bytes); }
  // The names in the local folder.
  std::vector<std::string> LocalNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(local)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  void ExpectBox(std::size_t index, std::string_view message) {
    ASSERT_GT(boxes.size(), index);
    EXPECT_NE(boxes[index].find(message), std::string::npos) << boxes[index];
  }
  static double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

  TestServers servers;
  fs::path local, startFolder;
};

// ---- FtpDownload ----------------------------------------------------------------------

TEST_F(FtpTest, DownloadIsByteExactAndReplacesTheLocalFile) {
  std::string package = BinaryContent(300000);
  Serve("letolt/ugy/MINTA/pszla.zip", package);
  WriteAll(local / "pszla.zip", "an older package");

  EXPECT_TRUE(updater::FtpDownload("ugy\\MINTA", "pszla.zip"));
  EXPECT_TRUE(boxes.empty()) << boxes.front();
  EXPECT_TRUE(ReadAll(local / "pszla.zip") == package);
  EXPECT_EQ(LocalNames(), std::vector<std::string>{"pszla.zip"});  // no temporary left
  // What the user saw on the status line, and that it is gone again.
  EXPECT_TRUE(term.Showed(" 127.0.0.1 ... "));
  EXPECT_TRUE(term.Showed(std::string(" Letöltés ........ "_cp)));
  EXPECT_TRUE(term.Showed(std::string(" Kapcsolat bontása "_cp)));
  EXPECT_EQ(Row(25), std::string(80, ' '));
}

TEST_F(FtpTest, ABlankFolderDownloadsFromTheRoot) {
  Serve("letolt/unzip.exe", "MZ unpacker");
  EXPECT_TRUE(updater::FtpDownload("   ", "unzip.exe"));
  EXPECT_EQ(ReadAll(local / "unzip.exe"), "MZ unpacker");
}

TEST_F(FtpTest, AMissingFileGivesTwoMessagesInARow) {
  Serve("letolt/ugy/MINTA/other.zip", "x");
  EXPECT_FALSE(updater::FtpDownload("ugy/MINTA", "pszla.zip"));
  ASSERT_EQ(boxes.size(), 2u);
  ExpectBox(0, "Nincs /letolt/ugy/MINTA/pszla.zip!");
  ExpectBox(1, "A másolás nem sikerült!"_cp);
  EXPECT_TRUE(LocalNames().empty());
  // A missing folder is the same.
  boxes.clear();
  EXPECT_FALSE(updater::FtpDownload("ugy/NINCS", "pszla.zip"));
  ASSERT_EQ(boxes.size(), 2u);
  ExpectBox(0, "Nincs /letolt/ugy/NINCS/pszla.zip!");
}

// No server and a server that refuses the login are told apart, from the
// platform's connect up to the words; both end the run as no connection.
TEST_F(FtpTest, NoServerAndARefusedLoginAreToldApart) {
  UseServer(servers.ClosedPort);
  EXPECT_EQ(updater::FetchFile("", "unzip.exe"), updater::Downloaded::kNoConnection);
  ASSERT_EQ(boxes.size(), 1u);
  ExpectBox(0, "Nincs kapcsolat!");
  EXPECT_TRUE(LocalNames().empty());
  EXPECT_EQ(Row(25), std::string(80, ' '));

  boxes.clear();
  Serve("letolt/unzip.exe", "MZ unpacker");
  UseServer(servers.RefusePort);
  EXPECT_EQ(updater::FetchFile("", "unzip.exe"), updater::Downloaded::kLoginRefused);
  ASSERT_EQ(boxes.size(), 1u);
  ExpectBox(0, "A szerver nem fogadta el a bejelentkezést!"_cp);
  EXPECT_TRUE(LocalNames().empty());
  EXPECT_EQ(Row(25), std::string(80, ' '));
  EXPECT_EQ(updater::ExitCodeOf(updater::Downloaded::kLoginRefused), updater::kExitNoConnection);

  // The platform's word for each, and for a good login.
  platform::FtpSession session(kStallSeconds);
  ASSERT_TRUE(session.Open());
  EXPECT_EQ(session.Connect("127.0.0.1", servers.Port, updater::kFtpUser, "wrong"),
            platform::FtpResult::kRefused);
  session.Close();
  ASSERT_TRUE(session.Open());
  EXPECT_EQ(session.Connect("127.0.0.1", servers.ClosedPort, updater::kFtpUser, updater::kFtpPassword),
            platform::FtpResult::kFailed);
  session.Close();
  ASSERT_TRUE(session.Open());
  EXPECT_EQ(session.Connect("127.0.0.1", servers.Port, updater::kFtpUser, updater::kFtpPassword),
            platform::FtpResult::kDone);
}

TEST_F(FtpTest, ASilentServerFailsInBoundedTime) {
  UseServer(servers.SilentPort);
  test_support::Deadline bound("a download from a silent server", kHeldUpBound);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(updater::FtpDownload("", "unzip.exe"));
  EXPECT_LT(SecondsSince(start), kHeldUpBound.count());
  ASSERT_EQ(boxes.size(), 1u);
  ExpectBox(0, "Nincs kapcsolat!");
}

TEST_F(FtpTest, AStalledTransferFailsInBoundedTimeAndLeavesTheOldFile) {
  Serve("letolt/ugy/MINTA/pszla.zip", BinaryContent(300000));
  WriteAll(local / "pszla.zip", "an older package");
  UseServer(servers.StallPort);
  test_support::Deadline bound("a stalled download", kHeldUpBound);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(updater::FtpDownload("ugy/MINTA", "pszla.zip"));
  double took = SecondsSince(start);
  EXPECT_GE(took, kStallSeconds - 0.5);
  EXPECT_LT(took, kHeldUpBound.count());
  ASSERT_EQ(boxes.size(), 1u);
  ExpectBox(0, "A másolás nem sikerült!"_cp);
  EXPECT_EQ(ReadAll(local / "pszla.zip"), "an older package");
}

TEST_F(FtpTest, AStalledTransferLeavesNoFileUnderTheName) {
  Serve("letolt/unzip.exe", BinaryContent(300000));
  UseServer(servers.StallPort);
  EXPECT_FALSE(updater::FtpDownload("", "unzip.exe"));
  // (Its temporary file may stay a while: a Windows worker that WinINet
  // cannot wake removes it when the server lets go.)
  EXPECT_FALSE(fs::exists(local / "unzip.exe"));
}

// A trickle (a byte a second) fails as a stall does; Esc cancels a transfer
// at once. Neither leaves a file.
TEST_F(FtpTest, ATrickleFailsWithinTheBoundAndEscCancels) {
  Serve("letolt/pszla.zip", BinaryContent(300000));
  UseServer(servers.TricklePort);
  test_support::Deadline bound("a trickling download and its cancel", 2 * kHeldUpBound);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(updater::FetchFile("", "pszla.zip"), updater::Downloaded::kFailed);
  EXPECT_LT(SecondsSince(start), kHeldUpBound.count());
  ASSERT_EQ(boxes.size(), 1u);
  ExpectBox(0, "A másolás nem sikerült!"_cp);

  boxes.clear();
  SetEnv("TORMEX_FTP_STALL_SECONDS", "60");
  term.PushKey(platform::scan::kEsc, 27);
  EXPECT_EQ(updater::FetchFile("", "pszla.zip"), updater::Downloaded::kCancelled);
  EXPECT_LT(SecondsSince(start), 2 * kHeldUpBound.count());
  EXPECT_TRUE(boxes.empty()) << boxes.front();  // a cancel is not told: the user asked for it
  EXPECT_FALSE(fs::exists(local / "pszla.zip"));
#ifndef _WIN32  // (a Windows worker that WinINet cannot wake may hold its temporary file a while)
  EXPECT_TRUE(LocalNames().empty());
#endif
}

// A listing is bounded as a download is: one that never ends fails in
// bounded time (and memory) as a failed transfer.
TEST_F(FtpTest, AnEndlessListingFailsInBoundedTime) {
  Serve("letolt/ugy/MINTA/pszla.zip", "package");
  UseServer(servers.EndlessListPort);
  test_support::Deadline bound("an endless listing", kHeldUpBound);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(updater::FetchFile("ugy/MINTA", "pszla.zip"), updater::Downloaded::kFailed);
  EXPECT_LT(SecondsSince(start), kHeldUpBound.count());
  ASSERT_EQ(boxes.size(), 1u);
  ExpectBox(0, "A másolás nem sikerült!"_cp);
  EXPECT_TRUE(LocalNames().empty());
}

// Only the server's word makes a file missing: a listing whose data
// connection breaks is a failed transfer, not "Nincs ...!".
TEST_F(FtpTest, AListingWhoseConnectionBreaksIsAFailedTransfer) {
  Serve("letolt/ugy/MINTA/pszla.zip", "package");
  UseServer(servers.ResetListPort);
  EXPECT_EQ(updater::FetchFile("ugy/MINTA", "pszla.zip"), updater::Downloaded::kFailed);
  ASSERT_EQ(boxes.size(), 1u) << boxes.front();
  ExpectBox(0, "A másolás nem sikerült!"_cp);
  EXPECT_TRUE(LocalNames().empty());
}

// Esc stops the connecting too: a silent server cannot hold the user.
TEST_F(FtpTest, EscWhileConnectingCancelsAtOnce) {
  UseServer(servers.SilentPort);
  SetEnv("TORMEX_FTP_STALL_SECONDS", "15");
  term.PushKey(platform::scan::kEsc, 27);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(updater::FetchFile("", "unzip.exe"), updater::Downloaded::kCancelled);
  EXPECT_LT(SecondsSince(start), 5);
  EXPECT_TRUE(boxes.empty()) << boxes.front();  // the user asked for it: nothing to tell
  EXPECT_EQ(Row(25), std::string(80, ' '));
}

// A file announced larger than the free room is refused before it fills the disk.
TEST_F(FtpTest, AFileLargerThanTheFreeRoomIsRefused) {
  Serve("letolt/pszla.zip", "small, but announced as 1 PiB");
  UseServer(servers.HugePort);
  EXPECT_EQ(updater::FetchFile("", "pszla.zip"), updater::Downloaded::kNoRoom);
  ASSERT_EQ(boxes.size(), 2u);
  ExpectBox(0, "Nincs elég szabad hely a lemezen a letöltéshez!"_cp);
  ExpectBox(1, "A másolás nem sikerült!"_cp);
  EXPECT_TRUE(LocalNames().empty());
}

// ---- FtpCheckVersion --------------------------------------------------------------------

TEST_F(FtpTest, CheckVersionFindsTheMarkerAndFetchesTheMessage) {
  Serve("letolt/ugy/MINTA/pszla.zip", "package");
  Serve("letolt/ugy/MINTA/V2031.ver", "");
  std::string message = std::string("Új verzió érhető el.\r\n"_cp);
  Serve("letolt/ugy/MINTA/uzenet.txt", message);
  std::string marker = "stale";
  updater::FtpCheckVersion("ugy\\MINTA", marker, "uzenet.loc");
  EXPECT_EQ(marker, "V2031.ver");
  EXPECT_EQ(ReadAll(local / "uzenet.loc"), message);
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(term.Showed(std::string("Kapcsolat bontása"_cp)));
  EXPECT_EQ(Row(25), std::string(80, ' '));
}

TEST_F(FtpTest, CheckVersionWithoutMarkerOrMessageIsSilent) {
  Serve("letolt/szla22/pszla.zip", "package");
  std::string marker = "stale";
  updater::FtpCheckVersion("szla22", marker, "uzenet.loc");
  EXPECT_EQ(marker, "");
  EXPECT_TRUE(LocalNames().empty());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(FtpTest, CheckVersionWithoutServerShowsTheCountdown) {
  UseServer(servers.ClosedPort);
  std::string marker = "stale";
  updater::FtpCheckVersion("szla22", marker, "uzenet.loc");
  EXPECT_EQ(marker, "");
  EXPECT_TRUE(term.Showed("Nincs internet-kapcsolat!"));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(Row(25), std::string(80, ' '));

  // A refused login is no missing internet connection.
  Serve("letolt/szla22/V2031.ver", "");
  UseServer(servers.RefusePort);
  updater::FtpCheckVersion("szla22", marker, "uzenet.loc");
  EXPECT_EQ(marker, "");
  EXPECT_TRUE(term.Showed(std::string("A szerver nem fogadta el a bejelentkezést!"_cp)));
  EXPECT_TRUE(boxes.empty());
}

// ---- FtpUpload -------------------------------------------------------------------------------

// Drive D: is the fixture's folder, emptied for each test.
class UploadTest : public FtpTest {
 protected:
  void SetUp() override {
    FtpTest::SetUp();
    if (IsSkipped()) return;
    drive = servers.DriveD;
    fs::remove_all(drive / "pp");
#ifndef _WIN32
    SetEnv("TORMEX_DRIVE_D", drive.string());
#endif
  }
  void TearDown() override {
#ifndef _WIN32
    SetEnv("TORMEX_DRIVE_D", "");
#endif
    FtpTest::TearDown();
  }
  fs::path drive;
};

TEST_F(UploadTest, UploadLandsInTheCustomersFolder) {
  std::string package = BinaryContent(200000);
  WriteAll(drive / "pp" / "szlarak" / "szlp.zip", package);
  fs::create_directories(servers.Root / "letolt" / "snav21" / "MINTA");
  EXPECT_TRUE(updater::FtpUpload("MINTA"));
  EXPECT_TRUE(boxes.empty()) << boxes.front();
  EXPECT_TRUE(ReadAll(servers.Root / "letolt" / "snav21" / "MINTA" / "szlp.zip") == package);
  EXPECT_TRUE(term.Showed(std::string(" Feltöltés MINTA........ "_cp)));
  EXPECT_EQ(Row(25), std::string(80, ' '));
}

TEST_F(UploadTest, AFailedUploadIsReported) {
  WriteAll(drive / "pp" / "szlarak" / "szlp.zip", "package");
  EXPECT_FALSE(updater::FtpUpload("NINCS"));  // no such folder on the server
  ASSERT_EQ(boxes.size(), 1u);
  ExpectBox(0, "A másolás nem sikerült!"_cp);

  boxes.clear();
  fs::create_directories(servers.Root / "letolt" / "snav21" / "MINTA");
  fs::remove(drive / "pp" / "szlarak" / "szlp.zip");
  EXPECT_FALSE(updater::FtpUpload("MINTA"));  // nothing to send
  ASSERT_EQ(boxes.size(), 1u);
  ExpectBox(0, "A másolás nem sikerült!"_cp);
  EXPECT_FALSE(fs::exists(servers.Root / "letolt" / "snav21" / "MINTA" / "szlp.zip"));
}

TEST_F(UploadTest, NoServerGivesNoConnection) {
  UseServer(servers.ClosedPort);
  EXPECT_FALSE(updater::FtpUpload("MINTA"));
  ASSERT_EQ(boxes.size(), 1u);
  ExpectBox(0, "Nincs kapcsolat!");
}

}  // namespace
