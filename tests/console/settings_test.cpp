// Settings stores through their files, the code page output and the stopwatch.
#include <fstream>
#include <iterator>

#include "platform/codepage.h"
#include "platform/sysinfo.h"
#include "settings_sandbox.h"
#include "text/text.h"

namespace {

using namespace platform::literals;
using console::kProgramStore;
using console::kUserStore;

class SettingsStoreTest : public SettingsSandbox {
 protected:
  // Store n reads the test file name, which holds bytes.
  void UseFile(int n, const std::string& name, const std::string& bytes) {
    std::ofstream(Path(name), std::ios::binary) << bytes;
    UsePath(n, Path(name));
  }
  void UsePath(int n, const std::string& path) { console::Settings().Stores[n - 1].Path = path; }

  std::string FileBytes(const std::string& name) {
    std::ifstream in(Path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  std::string Read(int n, std::string_view section, std::string_view key, int* index = nullptr) {
    std::string value = "unchanged";
    int at = console::ReadSetting(n, section, key, value);
    if (index) *index = at;
    return at < 0 ? "<" + std::to_string(at) + ":" + value + ">" : value;
  }
};

TEST_F(SettingsStoreTest, MissingFileIsCreatedWithTheUserLine) {
  console::SetUserName("MINTA");
  UsePath(kProgramStore, Path("prog.res"));
  console::OpenStore(kProgramStore);
  EXPECT_TRUE(console::StoreLoaded(kProgramStore));
  EXPECT_EQ(FileBytes("prog.res"), "UserMINTA\r\n");
  EXPECT_EQ(console::Settings().Stores[0].Lines.size(), 1u);
}

TEST_F(SettingsStoreTest, ReadSettingLooksOnlyInsideTheSection) {
  UseFile(kProgramStore, "prog.res",
          "DATUM=korai\r\n*FRISSIT\r\nDATUM=20250101\r\nNEV=a=b\r\n*MASIK\r\nCSAK=1\r\n" +
              std::string("*ÁRAK\r\nár=5\r\n"_cp));
  console::OpenStore(kProgramStore);
  int index = 0;
  EXPECT_EQ(Read(kProgramStore, "FRISSIT", "DATUM", &index), "20250101");
  EXPECT_EQ(index, 2);
  EXPECT_EQ(Read(kProgramStore, "FRISSIT", "NEV"), "a=b");  // the value runs past a second "="
  // A key that exists only in a later section is not found, and the value is emptied.
  EXPECT_EQ(Read(kProgramStore, "FRISSIT", "CSAK"), "<-1:>");
  EXPECT_EQ(Read(kProgramStore, "NINCS", "DATUM"), "<-1:>");
  // Section names match without regard to case, Hungarian letters included; keys exactly.
  EXPECT_EQ(Read(kProgramStore, "frissit", "DATUM"), "20250101");
  EXPECT_EQ(Read(kProgramStore, "árak"_cp, "ár"_cp), "5");
  EXPECT_EQ(Read(kProgramStore, "FRISSIT", "datum"), "<-1:>");
  EXPECT_EQ(console::FindSection(kProgramStore, "MASIK"), 4);
  EXPECT_EQ(console::FindSection(kProgramStore, "NINCS"), -1);
  // A store that is not loaded finds nothing.
  EXPECT_EQ(Read(kUserStore, "FRISSIT", "DATUM"), "<-1:>");
  EXPECT_EQ(console::FindSection(kUserStore, "FRISSIT"), -1);
}

TEST_F(SettingsStoreTest, WriteSettingReplacesInsertsIntoTheSectionOrAppendsIt) {
  UseFile(kProgramStore, "prog.res", "*A\r\nx=1\r\n\r\n*B\r\ny=2\r\n");
  console::OpenStore(kProgramStore);
  EXPECT_TRUE(console::WriteSetting(kProgramStore, "A", "x", "9"));     // replaced in place
  EXPECT_TRUE(console::WriteSetting(kProgramStore, "A", "z", "3"));     // end of a middle section
  EXPECT_TRUE(console::WriteSetting(kProgramStore, "B", "w", "4"));     // end of the last section
  EXPECT_TRUE(console::WriteSetting(kProgramStore, "C", "k", "v"));     // a missing section
  EXPECT_TRUE(console::SaveStore(kProgramStore));
  EXPECT_EQ(FileBytes("prog.res"), "*A\r\nx=9\r\n\r\nz=3\r\n*B\r\ny=2\r\nw=4\r\n*C\r\nk=v\r\n");
  int index = 0;
  EXPECT_EQ(Read(kProgramStore, "A", "z", &index), "3");
  EXPECT_EQ(index, 3);
}

TEST_F(SettingsStoreTest, OddLinesComeBackByteForByte) {
  const std::string odd(
      "elso sor\r\nnincs egyenlo\n\n*S\r\nk=v\r\n   \r\nmagányos\rCR=x\n*T\nutolso=1"_cp);
  UseFile(kProgramStore, "prog.res", odd);
  console::OpenStore(kProgramStore);
  ASSERT_TRUE(console::SaveStore(kProgramStore));
  EXPECT_EQ(FileBytes("prog.res"), odd);

  // Changing one entry changes that line only; a line added after the last
  // one gives it the file's first ending.
  console::WriteSetting(kProgramStore, "S", "k", "w");
  console::WriteSetting(kProgramStore, "T", "uj", "2");
  ASSERT_TRUE(console::SaveStore(kProgramStore));
  EXPECT_EQ(FileBytes("prog.res"),
            "elso sor\r\nnincs egyenlo\n\n*S\r\nk=w\r\n   \r\nmagányos\rCR=x\n*T\nutolso=1\r\nuj=2\r\n"_cp);
}

TEST_F(SettingsStoreTest, NewLinesTakeTheFilesOwnEnding) {
  UseFile(kProgramStore, "prog.res", "*A\nx=1\n");
  console::OpenStore(kProgramStore);
  console::WriteSetting(kProgramStore, "A", "y", "2");
  console::WriteSetting(kProgramStore, "B", "z", "3");
  console::SaveStore(kProgramStore);
  EXPECT_EQ(FileBytes("prog.res"), "*A\nx=1\ny=2\n*B\nz=3\n");
}

TEST_F(SettingsStoreTest, ValuesSurviveSaveCloseAndReopen) {
  console::SetUserName("MINTA");
  UsePath(kUserStore, Path("userMINT.res"));
  console::OpenStore(kUserStore);
  console::WriteSetting(kUserStore, "FRISSIT", "UTOLSO", "20250101");
  console::WriteSetting(kUserStore, "FRISSIT", "UZENET", "Jó napot!"_cp);
  console::WriteSetting(kUserStore, "EGYEB", "SZAM", "12");
  ASSERT_TRUE(console::SaveStore(kUserStore));
  console::CloseStore(kUserStore);
  EXPECT_FALSE(console::StoreLoaded(kUserStore));
  EXPECT_EQ(Read(kUserStore, "FRISSIT", "UTOLSO"), "<-1:>");

  console::OpenStore(kUserStore);
  EXPECT_EQ(Read(kUserStore, "FRISSIT", "UTOLSO"), "20250101");
  EXPECT_EQ(Read(kUserStore, "FRISSIT", "UZENET"), std::string("Jó napot!"_cp));
  EXPECT_EQ(Read(kUserStore, "EGYEB", "SZAM"), "12");
  EXPECT_EQ(FileBytes("userMINT.res"),
            "UserMINTA\r\n*FRISSIT\r\nUTOLSO=20250101\r\nUZENET=" + std::string("Jó napot!"_cp) +
                "\r\n*EGYEB\r\nSZAM=12\r\n");
}

TEST_F(SettingsStoreTest, OpeningAgainKeepsWhatIsInMemory) {
  UseFile(kProgramStore, "prog.res", "*A\r\nx=1\r\n");
  console::OpenStore(kProgramStore);
  console::WriteSetting(kProgramStore, "A", "x", "2");
  console::OpenStore(kProgramStore);
  EXPECT_EQ(Read(kProgramStore, "A", "x"), "2");
}

TEST_F(SettingsStoreTest, StoreThatIsNotLoadedIsNeverWritten) {
  UseFile(kProgramStore, "prog.res", "*A\r\nx=1\r\n");
  EXPECT_FALSE(console::WriteSetting(kProgramStore, "A", "x", "2"));
  EXPECT_FALSE(console::SaveStore(kProgramStore));
  EXPECT_EQ(FileBytes("prog.res"), "*A\r\nx=1\r\n");
  EXPECT_FALSE(console::WriteSetting(7, "A", "x", "2"));
  console::OpenStore(0);  // no such store: nothing happens
}

TEST_F(SettingsStoreTest, FileThatCannotBeCreatedEndsTheProgram) {
  UsePath(kProgramStore, Path("nincs") + "/mappa/prog.res");
  try {
    console::OpenStore(kProgramStore);
    FAIL() << "the program went on";
  } catch (const console::ProgramEnd& end) {
    EXPECT_EQ(end.Code, 3);  // path not found
  }
  EXPECT_FALSE(console::StoreLoaded(kProgramStore));
}

TEST_F(SettingsStoreTest, WindowsStylePathReachesTheFileWhateverItsCase) {
  std::ofstream(Path("prog.res"), std::ios::binary) << "*A\r\nx=1\r\n";
  std::string path = Folder().string() + "\\PROG.RES";
  for (char& c : path)
    if (c == '/') c = '\\';
  UsePath(kProgramStore, path);
  console::OpenStore(kProgramStore);
  EXPECT_EQ(Read(kProgramStore, "A", "x"), "1");
}

TEST_F(SettingsStoreTest, StorePathsComeFromTheProgramFolderAndTheUserName) {
  std::string folder = platform::ProgramFolder();
  console::SetUserName("MINTA");
  console::SetStorePaths();
  EXPECT_EQ(console::StorePath(kProgramStore), folder + "\\prog.res");
  EXPECT_EQ(console::StorePath(kUserStore), folder + "\\userMINT.res");
  EXPECT_EQ(console::StorePath(console::kDataStore), "adat.res");
  EXPECT_EQ(console::StorePath(console::kConsoleStore), "");

  console::SettingsStartup();  // the user name is emptied
  EXPECT_EQ(console::UserName(), "");
  EXPECT_EQ(console::StorePath(kUserStore), folder + "\\user.res");
  // (Under Wine the sandbox's registry hides the name the system keeps there.)
  EXPECT_EQ(console::ComputerName(), platform::ComputerName());
}

TEST(OutputText, UnchangedInModeFiftyElseTheLegacyEncoding) {
  const std::string text("Árvíztűrő tükörfúrógép"_cp);
  console::SetCodePageMode(50);
  EXPECT_EQ(console::OutputText(text), text);
  console::SetCodePageMode(0);
  EXPECT_EQ(console::OutputText(text), text::Cp852ToLegacyFull(text));
  EXPECT_NE(console::OutputText(text), text);
}

TEST(Stopwatch, CountsHundredthsAndDoesNotWrapAtMidnight) {
  platform::ManualClock clock;
  platform::SetClock(&clock);
  clock.Set(((10 * 60 + 59) * 60 + 59) * 100LL + 95);  // 10:59:59.95
  console::StopwatchMark mark;
  console::StopwatchStart(mark);
  EXPECT_EQ(mark.Hours, 10);
  EXPECT_EQ(mark.Hundredths, 95);
  clock.Advance(1234);
  EXPECT_EQ(console::StopwatchElapsed(mark), 1234);

  clock.Set(24 * 360000LL - 50);  // half a second before midnight
  console::StopwatchStart(mark);
  clock.Advance(100);
  EXPECT_EQ(console::StopwatchElapsed(mark), 100 - 24 * 360000L);
  platform::SetClock(nullptr);
}

}  // namespace
