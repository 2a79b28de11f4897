// The utility start-up: the program folder, today's date, the update
// settings step and the toolkit's start values, in the programs' common
// start-up order.
#include "files_fixture.h"
#include "startup/startup.h"

namespace {

TEST(FolderPart, KeepsADriveRootsSeparatorOnly) {
  EXPECT_EQ(files::FolderPart("C:\\SZAMLA\\prgfr.exe"), "C:\\SZAMLA");
  EXPECT_EQ(files::FolderPart("C:\\prgfr.exe"), "C:\\");
  EXPECT_EQ(files::FolderPart("C:prgfr.exe"), "C:");
  EXPECT_EQ(files::FolderPart("\\\\gep\\megosztas\\p.exe"), "\\\\gep\\megosztas");
  EXPECT_EQ(files::FolderPart("/home/x/prgfr"), "/home/x");
  EXPECT_EQ(files::FolderPart("prgfr.exe"), "");
}

class UtilityStartupTest : public FilesTest {};

TEST_F(UtilityStartupTest, FixesFolderAndDateRunsTheSettingsStepAndTheToolkitsStart) {
  clock.SetToday({2026, 3, 5});
  ui::SetViewMode('2');
  ui::SetDefaultButtonMode(true);
  ui::SetOutputMode(0);
  console::SetCodePageMode(50);
  console::SetWindow(5, 5, 20, 20);
  int loads = 0;
  files::UtilityStartup([&] { ++loads; });
  EXPECT_EQ(loads, 1);
  EXPECT_EQ(files::Today(), "20260305");
  std::string expected = files::FolderPart(platform::WindowsPath(platform::ProgramPath()));
  EXPECT_EQ(files::ProgramFolder(), expected);
  EXPECT_EQ(files::DataFolder(), expected);
  EXPECT_EQ(ui::ViewMode(), '1');
  EXPECT_FALSE(ui::DefaultButtonMode());
  EXPECT_EQ(ui::OutputMode(), 50);
  EXPECT_EQ(console::WindMin(), 0);
  EXPECT_EQ(console::WindMax(), (24 << 8) | 79);
  files::UtilityStartup({});  // no settings step: nothing to call
  console::SetCodePageMode(0);
}

TEST(UtilityStartupOrder, RunsAfterTheConsoleSettingsAndTheDefaultDataFolder) {
  platform::HeadlessTerminal term;
  std::string folderAtLoad;
  int code = startup::RunMainFlow(
      term,
      [&] {
        EXPECT_EQ(startup::DefaultDataFolderName(), "szla22");
        EXPECT_EQ(files::Today().size(), 8u);
        EXPECT_TRUE(term.IsOpen());
      },
      nullptr, [&] { folderAtLoad = files::ProgramFolder(); });
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(folderAtLoad.empty());  // the folder is fixed before the settings load

  startup::Sequence sequence;
  startup::AddStandardSteps(sequence, term);
  sequence.Start();
  std::vector<std::string> started = sequence.Started();
  ASSERT_GE(started.size(), 5u);
  started.resize(5);
  EXPECT_EQ(started, (std::vector<std::string>{"console driver", "code page mode",
                                               "console settings", "default data folder",
                                               "utility start-up"}));
  sequence.Stop();
  EXPECT_EQ(startup::DefaultDataFolderName(), "");
}

}  // namespace
