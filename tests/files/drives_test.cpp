// The drive rows and the two drive choosers, and the path and folder
// choosers that walk drives and folders.
#include "files_fixture.h"
#include "platform/codepage.h"
#include "text/text.h"

namespace {

using namespace platform::literals;

class DriveTest : public FilesTest {
 protected:
  // The list's rows as shown: columns 31.. of rows 11.., up to its frame.
  std::vector<std::string> ListRows(int width) {
    std::vector<std::string> rows;
    for (int row = 11; row <= 24 && Text(30, row, 1) != "╚"_cp; ++row)
      rows.push_back(text::TrimRight(Text(31, row, width)));
    return rows;
  }
  static std::string Type(char letter) {
    std::string root = std::string(1, letter) + ":\\";
    switch (platform::DriveType(root)) {
      case platform::drive::kFixed: return std::string(" Fix egység"_cp);
      case platform::drive::kRamDisk: return std::string(" Memória   "_cp);
      case platform::drive::kRemote: return std::string(" Hálózati  "_cp);
      default: return "?";
    }
  }
};

TEST_F(DriveTest, DrivePresentTakesEitherCaseAndNothingElse) {
  char here = platform::CurrentFolder()[0];
  EXPECT_TRUE(files::DrivePresent(here));
  EXPECT_TRUE(files::DrivePresent(static_cast<char>(std::tolower(here))));
  EXPECT_FALSE(files::DrivePresent('1'));
  EXPECT_FALSE(files::DrivePresent('\0'));
}

#ifndef _WIN32
// Drives C: ("/") and D: (the work folder, configured).
class PosixDriveTest : public DriveTest {
 protected:
  void SetUp() override {
    DriveTest::SetUp();
    SetEnv("TORMEX_DRIVE_D", Work().string());
  }
  void TearDown() override {
    SetEnv("TORMEX_DRIVE_D", "");
    DriveTest::TearDown();
  }
  std::string Label() const { return Work().string().substr(0, 20); }
};

TEST_F(PosixDriveTest, ChooseDriveListsEveryDriveWithLabelAndType) {
  std::vector<std::string> expected = {
      text::TrimRight("CcC: " + std::string(20, ' ') + Type('C')),
      text::TrimRight("DdD: " + text::PadRight(Label(), 20, ' ') + Type('D'))};
  Then([&] {
    EXPECT_EQ(ListRows(36), expected);
    EXPECT_NE(Row(10).find("Egységek"_cp), std::string::npos);
    Esc();
  });
  EXPECT_EQ(files::ChooseDrive("Egységek"_cp), 0);
  Then([&] {
    Chars("d");  // the row's first letters find it
    Enter();
  });
  EXPECT_EQ(files::ChooseDrive("Egységek"_cp), 'D');
}

TEST_F(PosixDriveTest, TheListShowsInTheCurrentTextAttribute) {
  console::SetTextAttr(0x1E);
  Then([&] {
    EXPECT_EQ(Attr(32, 12), 0x1E);  // the second row, not highlighted
    Enter();
  });
  EXPECT_EQ(files::ChooseDrive("x"), 'C');
}

TEST_F(PosixDriveTest, ChooseTargetDriveLeavesOutTheCurrentDrive) {
  fs::current_path("/");  // C: is current: only D: can take files
  Then([&] {
    EXPECT_EQ(ListRows(39), std::vector<std::string>{"Dd    D:" + Label() + Type('D')});
    EXPECT_NE(Row(10).find("Cel egysége "_cp), std::string::npos) << Row(10);
    Enter();
  });
  EXPECT_EQ(files::ChooseTargetDrive('B', 'D', "Cel "), 'D');
  fs::current_path(Work());  // D: is current: only C:
  Then([&] {
    EXPECT_EQ(ListRows(39).size(), 1u);
    EXPECT_EQ(Text(31, 11, 8), "Cc    C:");
    Enter();
  });
  EXPECT_EQ(files::ChooseTargetDrive('A', 0, ""), 'C');
  EXPECT_GT(files::DriveFreeSpace('D'), 0);
  EXPECT_EQ(files::DriveFreeSpace('Q'), 0);
  EXPECT_EQ(platform::CurrentFolder(), "D:\\");  // DriveFreeSpace came back
}

TEST_F(PosixDriveTest, VolumeLabelTakesALetterOrARoot) {
  EXPECT_EQ(files::VolumeLabel("d"), Work().string());
  EXPECT_EQ(files::VolumeLabel("D:"), Work().string());
  EXPECT_EQ(files::VolumeLabel("D:\\"), Work().string());
  EXPECT_EQ(files::VolumeLabel("C"), "");
  EXPECT_EQ(files::VolumeLabel("Q"), "");
}
#else
TEST_F(DriveTest, ChooseDriveListsDriveC) {
  Then([&] {
    bool found = false;
    for (const std::string& row : ListRows(36)) found = found || row.rfind("CcC: ", 0) == 0;
    EXPECT_TRUE(found);
    Esc();
  });
  EXPECT_EQ(files::ChooseDrive("Egységek"_cp), 0);
}
#endif

const std::string kDrives(":EGYSÉGEK"_cp);

// work\{pszla.zip, Alma\, mappa\{PSZLA.ZIP}, regi.txt}
class ChooserTest : public FilesTest {
 protected:
  void SetUp() override {
    FilesTest::SetUp();
    fs::create_directories(Work() / "mappa");
    fs::create_directories(Work() / "Alma");
    WriteFile(Work() / "pszla.zip", "p");
    WriteFile(Work() / "regi.txt", "r");
    WriteFile(Work() / "mappa" / "PSZLA.ZIP", "q");
  }
  // The rows of the chooser's list (columns 6..74 from row 3).
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    for (int row = 3; row <= 23; ++row) {
      std::string text = text::TrimRight(Text(6, row, 68));
      if (text.empty()) break;
      rows.push_back(text);
    }
    return rows;
  }
  void Down(int n) {
    for (int i = 0; i < n; ++i) Key(platform::scan::kDown);
  }
};

TEST_F(ChooserTest, ChoosePathWalksIntoAFolderAndReturnsTheFullPath) {
  std::string here = platform::CurrentFolder();
  Then([&] {
    EXPECT_EQ(Rows(), (std::vector<std::string>{kDrives, "..", "Alma\\", "mappa\\",
                                                "pszla.zip"}));
    Down(3);
    Enter();
  });
  Then([&] {
    EXPECT_EQ(Rows(), (std::vector<std::string>{kDrives, "..", "PSZLA.ZIP"}));
    Down(2);
    Enter();
  });
  EXPECT_EQ(files::ChoosePath(here, "pszla.zip", ""), here + "\\mappa\\PSZLA.ZIP");
  EXPECT_EQ(platform::CurrentFolder(), here);
}

TEST_F(ChooserTest, EscLeavesWithNothingAndABadStartIsReported) {
  std::string here = platform::CurrentFolder();
  Then([&] { Esc(); });
  EXPECT_EQ(files::ChoosePath("", "*.*", "Keres"), "");
  ExpectMessage("Érvénytelen egység/fájlnév/mappa"_cp);
  EXPECT_EQ(files::ChoosePath(here + "\\nincs", "*.*", ""), "");
  EXPECT_EQ(platform::CurrentFolder(), here);
}

TEST_F(ChooserTest, ChooseFolderTakesTheFolderShownOnF10) {
  std::string here = platform::CurrentFolder();
  Then([&] {
    EXPECT_EQ(Rows(), (std::vector<std::string>{kDrives, "..", "Alma\\", "mappa\\"}));
    EXPECT_NE(Row(24).find(" F10-kiválaszt Esc-kilép "_cp), std::string::npos);
    Down(2);
    Enter();
  });
  Then([&] { Key(platform::scan::kF10); });
  EXPECT_EQ(files::ChooseFolder(here, "Hova?"), here + "\\Alma");
  EXPECT_EQ(platform::CurrentFolder(), here);
  Key(platform::scan::kF10);
  EXPECT_EQ(ui::ReadEvent(), console::key::kF10);  // the chooser's hotkey is gone
}

}  // namespace
