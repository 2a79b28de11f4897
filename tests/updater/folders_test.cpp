// Finding the suite's program folder and the update package with the
// choosers, driven by keys as a person would.
#include <filesystem>
#include <fstream>

#include "platform/fs.h"
#include "test_servers.h"
#include "updater/updater.h"
#include "updater_fixture.h"

using namespace platform::literals;
namespace fs = std::filesystem;
namespace scan = platform::scan;

namespace {

void Touch(const fs::path& path) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << "x";
}

// A fresh folder as the current folder for each test.
class FolderTest : public UpdaterTest {
 protected:
  void SetUp() override {
    UpdaterTest::SetUp();
    static int serial = 0;
    folder = fs::temp_directory_path() /
             ("tormex-updfold-" + std::to_string(++serial) + "-" + std::to_string(std::rand()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    back = fs::current_path();
    fs::current_path(folder);
    here = platform::CurrentFolder();
  }
  void TearDown() override {
    fs::current_path(back);
    std::error_code ec;
    fs::remove_all(folder, ec);
    UpdaterTest::TearDown();
  }
  // How the library writes a folder given by a Windows-style path.
  static std::string Written(const std::string& path) {
    std::string before = platform::CurrentFolder();
    EXPECT_EQ(platform::ChangeFolder(path), 0);
    std::string written = platform::CurrentFolder();
    EXPECT_EQ(platform::ChangeFolder(before), 0);
    return written;
  }

  fs::path folder, back;
  std::string here;  // the current folder as the library writes it
};

TEST_F(FolderTest, ProgramFolderHasTheSuitesPrograms) {
  EXPECT_FALSE(updater::ProgramFolderHas(false, here));
  EXPECT_FALSE(updater::ProgramFolderHas(true, here));
  Touch(folder / "SZAMLA.EXE");  // letter case does not matter
  EXPECT_TRUE(updater::ProgramFolderHas(false, here));
  Touch(folder / "fop.exe");
  EXPECT_FALSE(updater::ProgramFolderHas(true, here));  // PRG\szamla.exe missing
  Touch(folder / "PRG" / "szamla.exe");
  EXPECT_TRUE(updater::ProgramFolderHas(true, here));
}

TEST_F(FolderTest, ChoosePackageFolderGivesTheFolderOfTheChosenPackage) {
  Touch(folder / "csomag" / "pszla.zip");
  // Rows: ":EGYSÉGEK", "..", "csomag\"; then ":EGYSÉGEK", "..", "pszla.zip".
  Then([this] { Keys({scan::kDown, scan::kDown, scan::kEnter}); });
  Then([this] { Keys({scan::kDown, scan::kDown, scan::kEnter}); });
  std::string chosen;
  EXPECT_TRUE(updater::ChoosePackageFolder(chosen));
  EXPECT_EQ(chosen, Written(here + "\\csomag"));
  EXPECT_EQ(platform::CurrentFolder(), here);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(FolderTest, LeavingTheChoosersGivesNothing) {
  Then([this] { Keys({scan::kEsc}); });
  std::string chosen = "stale";
  EXPECT_FALSE(updater::ChoosePackageFolder(chosen));
  EXPECT_EQ(chosen, "");

  Then([this] { Keys({scan::kEsc}); });
  chosen = "stale";
  EXPECT_FALSE(updater::FindProgramFolder(chosen, false));
  EXPECT_EQ(chosen, "");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(FolderTest, AskFolderNameTakesTheFolderShownOrSaysNothingWasChosen) {
  // No drive chosen: the folder chooser starts on the current folder, where
  // F10 takes the folder shown.
  Then([this] {
    EXPECT_TRUE(term.Showed(std::string(" Adatmappa : keressük együtt! "_cp)));
    Keys({scan::kEsc});
  });
  Then([this] { Keys({scan::kF10}); });
  std::string chosen;
  updater::AskFolderName(chosen, "Adatmappa");
  EXPECT_EQ(chosen, here);
  EXPECT_TRUE(boxes.empty());

  Then([this] { Keys({scan::kEsc}); });
  Then([this] { Keys({scan::kEsc}); });
  chosen = "stale";
  updater::AskFolderName(chosen, "Adatmappa");
  EXPECT_EQ(chosen, "");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("Nincs!"), std::string::npos);
}

// FindProgramFolder starts on the current folder's drive: drive D: of the
// FTP test fixture, so that the walk is the same on every machine.
class FindProgramFolderTest : public FolderTest {
 protected:
  void SetUp() override {
    FolderTest::SetUp();
    if (!ReadServers(servers)) GTEST_SKIP() << "no drive D: (run the suite through ctest)";
    for (const auto& entry : fs::directory_iterator(servers.DriveD)) fs::remove_all(entry.path());
#ifndef _WIN32
    SetEnv("TORMEX_DRIVE_D", servers.DriveD.string());
#endif
    ASSERT_EQ(platform::ChangeFolder("D:\\"), 0);
    start = platform::CurrentFolder();
  }
  void TearDown() override {
#ifndef _WIN32
    SetEnv("TORMEX_DRIVE_D", "");
#endif
    FolderTest::TearDown();
  }
  TestServers servers;
  std::string start;
};

TEST_F(FindProgramFolderTest, AWrongChoiceAsksAndTheSearchGoesOn) {
  Touch(servers.DriveD / "rossz" / "fop.exe");  // no PRG\szamla.exe beside it
  Touch(servers.DriveD / "jo" / "fop.exe");
  Touch(servers.DriveD / "jo" / "PRG" / "szamla.exe");
  // D:\ rows: ":EGYSÉGEK", "jo\", "rossz\".
  Then([this] { Keys({scan::kDown, scan::kDown, scan::kEnter}); });
  // D:\rossz: ":EGYSÉGEK", "..", "fop.exe".
  Then([this] { Keys({scan::kDown, scan::kDown, scan::kEnter}); });
  ThenAnswerBox();  // "Nem jó! Tovább keres?": Igen
  // The chooser again, on D:\rossz: up to D:\, into "jo", take fop.exe
  // (rows ":EGYSÉGEK", "..", "PRG\", "fop.exe").
  Then([this] { Keys({scan::kDown, scan::kEnter}); });
  Then([this] { Keys({scan::kDown, scan::kEnter}); });
  Then([this] { Keys({scan::kDown, scan::kDown, scan::kDown, scan::kEnter}); });
  std::string found;
  EXPECT_TRUE(updater::FindProgramFolder(found, true));
  EXPECT_EQ(found, Written("D:\\jo"));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find(std::string("Nem jó! Tovább keres?"_cp)), std::string::npos);
  EXPECT_EQ(platform::CurrentFolder(), start);
}

TEST_F(FindProgramFolderTest, GivingUpAfterAWrongChoiceGivesNothing) {
  Touch(servers.DriveD / "rossz" / "fop.exe");
  Then([this] { Keys({scan::kDown, scan::kEnter}); });
  Then([this] { Keys({scan::kDown, scan::kDown, scan::kEnter}); });
  Then([this] { Keys({scan::kEsc}); });  // the question answered with Esc
  std::string found = "stale";
  EXPECT_FALSE(updater::FindProgramFolder(found, true));
  EXPECT_EQ(found, "");
  EXPECT_EQ(platform::CurrentFolder(), start);
}

}  // namespace
