// Running programs: the program search, "cd", the two ways of starting, the
// exit code, the console handed over and taken back, RunCommandLine,
// RunAndQuit and EraseFile.
#include "files_fixture.h"
#include "platform/codepage.h"
#include "platform/errors.h"

namespace {

using namespace platform::literals;

class RunTest : public FilesTest {
 protected:
  // The file names of the programs that ran, in order.
  std::vector<std::string> Programs() {
    std::vector<std::string> names;
    for (const auto& line : Ran()) names.push_back(line[0]);
    return names;
  }
  // Arguments 1.. of the one program that ran.
  std::vector<std::string> Arguments(const std::vector<std::string>& line) {
    return {line.begin() + 2, line.end()};
  }
};

#ifdef _WIN32
constexpr const char* kBatch = "@echo bat>>ran.txt\r\n";
#else
constexpr const char* kBatch = "echo bat>>ran.txt\n";
#endif

TEST_F(RunTest, ANameWithoutExtensionIsLookedForAsExeThenBatThenCom) {
  Install("prog.exe");
  Install("prog.com");
  WriteFile(Work() / "prog.bat", kBatch);
  files::RunProgram("prog", "", false);
  EXPECT_EQ(Programs(), std::vector<std::string>{"prog.exe"});
  fs::remove(Work() / "prog.exe");
  files::RunProgram("prog", "", false);
  EXPECT_EQ(Programs(), std::vector<std::string>{"bat"});
  fs::remove(Work() / "prog.bat");
  files::RunProgram("prog", "", false);
  EXPECT_EQ(Programs(), std::vector<std::string>{"prog.com"});
  // A name with a dot is taken as it is.
  files::RunProgram("prog.com", "", false);
  EXPECT_EQ(Programs(), std::vector<std::string>{"prog.com"});
}

TEST_F(RunTest, CdInAnyCaseChangesTheFolderWithoutTouchingTheScreen) {
  fs::create_directories(Work() / "DATA");
  std::string data = Win(Work() / "DATA");
  long cells = term.CellsWritten();
  for (const char* cd : {"cd", "Cd", "cD", "CD  "}) {
    fs::current_path(Work());
    EXPECT_EQ(files::RunProgram(cd, data + "  ", false), 0) << cd;
    EXPECT_EQ(platform::CurrentFolder(), data) << cd;
  }
  EXPECT_EQ(term.CellsWritten(), cells);
  EXPECT_TRUE(term.IsOpen());
}

TEST_F(RunTest, AFailedCdGoesToTheInterpreterWithoutLastingEffect) {
  std::string here = platform::CurrentFolder();
  files::RunProgram("cd", "nincs-ilyen", false);
  EXPECT_EQ(platform::CurrentFolder(), here);
  EXPECT_TRUE(term.IsOpen());
}

TEST_F(RunTest, AProgramOfTheCurrentFolderGoesThroughComspecWithSlashC) {
  Install("shell.exe", Prog());
  SetComspec(Win(Prog() / "shell.exe"));
  Install("prog.exe");
  files::RunProgram("prog", "a  b  ", false);
  auto ran = Ran();
  ASSERT_EQ(ran.size(), 1u);
  EXPECT_EQ(ran[0][0], "shell.exe");
  EXPECT_EQ(Arguments(ran[0]), (std::vector<std::string>{"/c", "prog.exe", "a", "b"}));
}

TEST_F(RunTest, AProgramOfTheProgramFolderStartsDirectlyByItsQuotedPath) {
  Install("shell.exe", Prog());
  SetComspec(Win(Prog() / "shell.exe"));
  Install("prog.exe", Prog());
  files::RunProgram("prog", "x", false);
  auto ran = Ran();
  ASSERT_EQ(ran.size(), 1u);  // no interpreter
  EXPECT_EQ(ran[0][0], "prog.exe");
  EXPECT_EQ(ran[0][1], files::ProgramFolder() + "\\prog.exe");
  EXPECT_EQ(Arguments(ran[0]), std::vector<std::string>{"x"});
}

TEST_F(RunTest, ParametersLoseTrailingBlanksOnly) {
  Install("prog.exe", Prog());
  // An open quote keeps the blanks after it, so a blank that survived the
  // trimming would show in the argument.
  files::RunProgram("prog", "\"x  ", false);
  auto ran = Ran();
  ASSERT_EQ(ran.size(), 1u);
  EXPECT_EQ(Arguments(ran[0]), std::vector<std::string>{"x"});
  EXPECT_EQ(platform::ProgramCommandLine("p", "  a"), "\"p\"    a");
}

TEST_F(RunTest, DirectStartTakesTheCurrentFoldersProgramByItsAbsolutePath) {
  Install("shell.exe", Prog());
  SetComspec(Win(Prog() / "shell.exe"));
  Install("unzip.exe");
  Install("unzip.exe", Prog());
  files::RunProgramDirect("unzip.exe", "-qo pszla.zip", false);
  auto ran = Ran();
  ASSERT_EQ(ran.size(), 1u);  // never the interpreter
  EXPECT_EQ(ran[0][1], platform::CurrentFolder() + "\\unzip.exe");
  EXPECT_EQ(Arguments(ran[0]), (std::vector<std::string>{"-qo", "pszla.zip"}));
}

TEST_F(RunTest, AStartThatFailsKeepsThePreviousExitCode) {
  Install("prog.exe");
  EXPECT_EQ(files::RunProgramDirect("prog", "exit=7", false), 7);
  EXPECT_EQ(files::RunProgramDirect("nincs-ilyen", "", false), 7);
  EXPECT_EQ(files::State().StartError, 2);
  EXPECT_EQ(files::State().ExitCode, 7u);
  EXPECT_TRUE(term.IsOpen());
}

TEST_F(RunTest, TheExitCodeKeepsItsLow16Bits) {
  Install("prog.exe");
  EXPECT_EQ(files::RunProgramDirect("prog", "exit=3", false), 3);
  EXPECT_EQ(files::RunProgram("prog", "exit=0", false), 0);
#ifdef _WIN32
  EXPECT_EQ(files::RunProgramDirect("prog", "exit=70000", false), 70000 - 65536);
  EXPECT_EQ(files::State().ExitCode, 70000u);
#endif
}

#ifndef _WIN32
// A downloaded program that is empty or no program at all (text without a
// "#!" line) does not start, and no shell runs it in its place.
TEST_F(RunTest, AFileThatIsNoProgramDoesNotStart) {
  for (const char* bytes : {"", "echo sh>>ran.txt\n"}) {
    WriteFile(Work() / "frissit.exe", bytes);
    files::State().StartError = 0;
    files::RunProgramDirect("frissit.exe", "", false);
    EXPECT_EQ(files::State().StartError, platform::error::kBadProgram) << bytes;
    EXPECT_TRUE(Ran().empty()) << bytes;
    EXPECT_TRUE(term.IsOpen());
  }
}
#endif

TEST_F(RunTest, TheScreenWindowCursorAndColoursComeBackAsTheyWere) {
  ui::FillWindow('x', 0x1E);
  console::SetWindow(10, 5, 60, 20);
  console::GotoXY(3, 4);
  console::SetTextAttr(0x4F);
  std::vector<platform::Cell> before = Screen();
  Install("prog.exe");
  files::RunProgram("prog", "", false);
  EXPECT_TRUE(term.IsOpen());
  EXPECT_EQ(Screen(), before);
  EXPECT_EQ(console::WindMin(), (4 << 8) | 9);
  EXPECT_EQ(console::WindMax(), (19 << 8) | 59);
  EXPECT_EQ(console::WhereX(), 3);
  EXPECT_EQ(console::WhereY(), 4);
  EXPECT_EQ(console::TextAttr(), 0x4F);
  EXPECT_EQ(term.CursorX(), 11);
  EXPECT_EQ(term.CursorY(), 7);
}

TEST_F(RunTest, ReleasedConsoleIsGivenBackOnlyOnce) {
  files::ReleaseConsole();
  EXPECT_FALSE(term.IsOpen());
  EXPECT_FALSE(console::ConsoleOpen());
  files::ReleaseConsole();  // nothing more to release
  files::AcquireConsole();
  EXPECT_TRUE(term.IsOpen());
  files::AcquireConsole();  // nothing was released
  EXPECT_TRUE(console::ConsoleOpen());
}

TEST_F(RunTest, RunCommandLineSplitsAtTheFirstBlank) {
  Install("prog.exe", Prog());
  files::RunCommandLine("prog a b");
  files::RunCommandLine("prog");
  files::RunCommandLine(std::string("prog c  \0  ", 11));
  auto ran = Ran();
  ASSERT_EQ(ran.size(), 3u);
  EXPECT_EQ(Arguments(ran[0]), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(Arguments(ran[1]).empty());
  EXPECT_EQ(Arguments(ran[2]), std::vector<std::string>{"c"});
}

TEST_F(RunTest, ATrailingNulEndsTheProgramAfterTheChild) {
  Install("prog.exe", Prog());
  try {
    files::RunCommandLine(std::string("prog a\0", 7));
    ADD_FAILURE() << "the program did not end";
  } catch (const console::ProgramEnd& end) {
    EXPECT_EQ(end.Code, 0);
  }
  EXPECT_EQ(Ran().size(), 1u);
}

TEST_F(RunTest, RunAndQuitWithNulWaitsForAKeyThenEnds) {
  Install("prog.exe", Prog());
  files::RunAndQuit("prog");
  EXPECT_EQ(Ran().size(), 1u);
  Then([this] {
    EXPECT_NE(Row(1).find("Az Enter lenyomása után a program kilép!"_cp), std::string::npos);
    Chars("x");
  });
  try {
    files::RunAndQuit(std::string("prog\0", 5));
    ADD_FAILURE() << "the program did not end";
  } catch (const console::ProgramEnd& end) {
    EXPECT_EQ(end.Code, 0);
  }
  EXPECT_EQ(Ran().size(), 1u);
}

TEST_F(RunTest, EraseFileDeletesOneFileAndReportsEveryFailureAsFalse) {
  WriteFile(Work() / "unzip.exe", "x");
  EXPECT_TRUE(files::EraseFile("UNZIP.EXE"));  // letter case does not matter
  EXPECT_FALSE(fs::exists(Work() / "unzip.exe"));
  EXPECT_FALSE(files::EraseFile("UNZIP.EXE"));  // missing: false, no message
  EXPECT_FALSE(files::EraseFile("nincs\\mappa.txt"));
  fs::create_directories(Work() / "mappa");
  EXPECT_FALSE(files::EraseFile("mappa"));
  if (!UnderWine()) {  // Wine lets root delete a read-only file
    WriteFile(Work() / "csak.txt", "x");
    ASSERT_EQ(platform::SetAttributes("csak.txt", platform::attr::kReadOnly), 0);
    EXPECT_FALSE(files::EraseFile("csak.txt"));
    EXPECT_TRUE(fs::exists(Work() / "csak.txt"));
  }
  EXPECT_TRUE(term.IsOpen());
}

}  // namespace
