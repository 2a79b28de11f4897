// Remote paths, the server setting, and the update settings in "prog.res".
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "console/console.h"
#include "platform/fs.h"
#include "ui/ui.h"
#include "updater/updater.h"
#include "updater_fixture.h"

using namespace updater;
using namespace platform::literals;

namespace {

// ---- Remote paths -------------------------------------------------------------------

TEST(RemotePaths, DownloadFolderIsConvertedAndABlankFolderLeftOut) {
  EXPECT_EQ(ToFtpPath("ugy\\MINTA\\x"), "ugy/MINTA/x");
  EXPECT_EQ(DownloadPath("", "unzip.exe"), "/letolt/unzip.exe");
  EXPECT_EQ(DownloadPath("    ", "unzip.exe"), "/letolt/unzip.exe");
  EXPECT_EQ(DownloadPath("ugy/MINTA", "pszla.zip"), "/letolt/ugy/MINTA/pszla.zip");
  EXPECT_EQ(DownloadPath("ugy\\MINTA", "pszla.zip"), "/letolt/ugy/MINTA/pszla.zip");
  // A folder that is not blank is used whole, trailing blanks included.
  EXPECT_EQ(DownloadPath("ugy\\MINTA  ", "pszla.zip"), "/letolt/ugy/MINTA  /pszla.zip");
}

TEST(RemotePaths, CheckVersionIsRelativeAndConvertedUploadIsNotConverted) {
  EXPECT_EQ(CheckVersionPath("ugy\\MINTA", "V*.*"), "letolt/ugy/MINTA/V*.*");
  EXPECT_EQ(CheckVersionPath("szla22", "uzenet.txt"), "letolt/szla22/uzenet.txt");
  EXPECT_EQ(UploadPath("MINTA"), "/letolt/snav21/MINTA/szlp.zip");
  EXPECT_EQ(UploadPath("ugy\\MINTA"), "/letolt/snav21/ugy\\MINTA/szlp.zip");
}

TEST(RemotePaths, AreShortStrings) {
  EXPECT_EQ(DownloadPath(std::string(300, 'a'), "x").size(), 255u);
  EXPECT_EQ(UploadPath(std::string(300, 'a')).size(), 255u);
}

TEST(ServerSetting, DefaultsAndTheEnvironmentOverride) {
  SetEnv("TORMEX_FTP_SERVER", "");
  SetEnv("TORMEX_FTP_STALL_SECONDS", "");
  EXPECT_EQ(FtpServerHost(), kDefaultFtpHost);
  EXPECT_EQ(FtpServerPort(), 21);
  EXPECT_EQ(FtpStallSeconds(), kDefaultStallSeconds);

  SetEnv("TORMEX_FTP_SERVER", "127.0.0.1:2121");
  EXPECT_EQ(FtpServerHost(), "127.0.0.1");
  EXPECT_EQ(FtpServerPort(), 2121);
  SetEnv("TORMEX_FTP_SERVER", "ftp.example.test");
  EXPECT_EQ(FtpServerHost(), "ftp.example.test");
  EXPECT_EQ(FtpServerPort(), 21);
  SetEnv("TORMEX_FTP_SERVER", "");

  SetEnv("TORMEX_FTP_STALL_SECONDS", "4");
  EXPECT_EQ(FtpStallSeconds(), 4);
  for (const char* bad : {"0", "-3", "soon"}) {
    SetEnv("TORMEX_FTP_STALL_SECONDS", bad);
    EXPECT_EQ(FtpStallSeconds(), kDefaultStallSeconds) << bad;
  }
  SetEnv("TORMEX_FTP_STALL_SECONDS", "");
}

// ---- Update settings -------------------------------------------------------------------

// Stores 1 and 2 in a fresh folder of their own.
class UpdateSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int serial = 0;
    folder_ = std::filesystem::temp_directory_path() /
              ("tormex-updset-" + std::to_string(++serial) + "-" + std::to_string(std::rand()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    console::Settings() = {};
    console::Settings().Stores[0].Path = Path("prog.res");
    console::Settings().Stores[1].Path = Path("user.res");
    Settings() = {};
  }
  void TearDown() override {
    console::Settings() = {};
    Settings() = {};
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  std::string Path(const std::string& name) const { return (folder_ / name).string(); }
  void Write(const std::string& name, const std::string& content) {
    std::ofstream(Path(name), std::ios::binary) << content;
  }
  std::string Read(const std::string& name) {
    std::ostringstream s;
    s << std::ifstream(Path(name), std::ios::binary).rdbuf();
    return s.str();
  }
  static std::string Padded(const std::string& value, int width) {
    return value + std::string(width - value.size(), ' ');
  }

 private:
  std::filesystem::path folder_;
};

TEST_F(UpdateSettingsTest, SaveAndLoadGiveValuesPaddedToTheirWidths) {
  Settings().LastUpdate = "20240131";
  Settings().LastLook = "20240201";
  Settings().Source = "\\\\szerver\\frissit";
  Settings().NetworkVersion = "V2024.02";
  const std::string message("Új verzió!"_cp);
  Settings().Message = message;
  SaveUpdateSettings();
  EXPECT_TRUE(platform::FileExists(Path("user.res")));  // created with the first save

  std::string file = Read("prog.res");
  std::size_t section = file.find("*FRISSIT");
  ASSERT_NE(section, std::string::npos);
  // Keys in their order, each value at its full width.
  std::size_t last = section;
  for (std::string line : {"frissdatum=" + Padded("20240131", 20),
                           "frissnezdatum=" + Padded("20240201", 20),
                           "netver=" + Padded("V2024.02", 20),
                           "frisshely=" + Padded("\\\\szerver\\frissit", 200),
                           "uzenet=" + Padded(message, 80) + "\r\n"}) {
    std::size_t at = file.find(line);
    ASSERT_NE(at, std::string::npos) << line;
    EXPECT_GT(at, last) << line;
    last = at;
  }

  Settings() = {};
  Settings().Message = "stale";
  LoadUpdateSettings();
  EXPECT_EQ(Settings().LastUpdate, Padded("20240131", 20));
  EXPECT_EQ(Settings().LastLook, Padded("20240201", 20));
  EXPECT_EQ(Settings().Source, Padded("\\\\szerver\\frissit", 200));
  EXPECT_EQ(Settings().NetworkVersion, Padded("V2024.02", 20));
  EXPECT_EQ(Settings().Message, Padded(message, 80));
  EXPECT_FALSE(console::StoreLoaded(console::kProgramStore));
  EXPECT_FALSE(console::StoreLoaded(console::kUserStore));
}

TEST_F(UpdateSettingsTest, LongValuesAreCutAndMissingOrEmptyKeysLeaveBlanks) {
  Write("user.res", "UserX\r\n");
  std::string longMessage(100, 'm'), longPlace(230, 'p');
  Write("prog.res", "*FRISSIT\r\nuzenet=" + longMessage + "\r\nfrisshely=" + longPlace +
                        "\r\nnetver=\r\n*MASIK\r\nfrissdatum=20990101\r\n");
  Settings().NetworkVersion = "old";
  Settings().LastUpdate = "old";
  LoadUpdateSettings();
  EXPECT_EQ(Settings().Message, std::string(80, 'm'));
  EXPECT_EQ(Settings().Source, std::string(200, 'p'));
  EXPECT_EQ(Settings().NetworkVersion, std::string(20, ' '));  // empty value
  EXPECT_EQ(Settings().LastUpdate, std::string(20, ' '));      // only in another section
  EXPECT_EQ(Settings().LastLook, std::string(20, ' '));
}

TEST_F(UpdateSettingsTest, AMissingFileLeavesTheRecordUntouched) {
  Write("prog.res", "*FRISSIT\r\nnetver=V9\r\n");
  Settings().NetworkVersion = "kept";
  LoadUpdateSettings();  // no user file
  EXPECT_EQ(Settings().NetworkVersion, "kept");
  EXPECT_FALSE(platform::FileExists(Path("user.res")));

  std::filesystem::remove(Path("prog.res"));
  Write("user.res", "User\r\n");
  LoadUpdateSettings();  // no prog.res
  EXPECT_EQ(Settings().NetworkVersion, "kept");
  EXPECT_FALSE(platform::FileExists(Path("prog.res")));
}

TEST_F(UpdateSettingsTest, LoadingCopiesTheCodePageModeIntoTheOutputMode) {
  console::SetCodePageMode(50);
  ui::SetOutputMode(0);
  LoadUpdateSettings();
  EXPECT_EQ(ui::OutputMode(), 50);
}

}  // namespace
