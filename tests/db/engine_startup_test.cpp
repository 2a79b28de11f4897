// The engine inside the programs' start-up: started last, stopped first
// with every file closed, and the station identifier it forms.
#include <gtest/gtest.h>

#include <filesystem>

#include "console/console.h"
#include "db/db.h"
#include "platform/fs.h"
#include "platform/sysinfo.h"
#include "startup/startup.h"
#include "ui/ui.h"

namespace {

TEST(EngineStartup, RunsAroundTheMainFlowAndClosesWhatWasLeftOpen) {
  auto home = std::filesystem::current_path();
  auto folder = std::filesystem::temp_directory_path() /
                ("tormex-db-start-" + std::to_string(platform::ProcessId()));
  std::filesystem::create_directories(folder);
  std::filesystem::current_path(folder);
  db::ResetEngine();
  platform::HeadlessTerminal term;
  db::DataFile f;
  int code = startup::RunMainFlow(term, [&] {
    EXPECT_NE(db::RecordBuffer(), nullptr);
    EXPECT_TRUE(db::LockingOn());
    std::string machine = console::ComputerName();
    EXPECT_EQ(db::StationId(), machine + "_" + std::to_string(platform::ProcessId()));
    ASSERT_TRUE(db::CreateDataFile(f, "LEFT.DAT", 30).Ok());
    ASSERT_TRUE(db::ShareFile(f));
  });
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(f.Handle->IsOpen());
  EXPECT_EQ(db::OpenFileCount(), 0);
  EXPECT_EQ(db::RecordBuffer(), nullptr);
  std::string bytes;
  ASSERT_EQ(platform::ReadFileBytes("LEFT.DAT", bytes), 0);
  EXPECT_EQ(bytes.substr(16, 3), std::string(3, '\0'));  // the shared use was given back
  db::ResetEngine();
  std::filesystem::current_path(home);
  std::filesystem::remove_all(folder);
}

// A batch job's screen has nobody at it: a question is answered with Esc
// and a fatal end ends at once with its code, its report written out,
// instead of waiting for a key that never comes.
TEST(EngineStartup, WithNobodyAtTheScreenNeitherAQuestionNorAFatalEndWaits) {
  auto home = std::filesystem::current_path();
  auto folder = std::filesystem::temp_directory_path() /
                ("tormex-db-batch-" + std::to_string(platform::ProcessId()));
  std::filesystem::create_directories(folder);
  std::filesystem::current_path(folder);
  db::ResetEngine();
  platform::HeadlessTerminal term;
  term.SetAttended(false);
  int answer = -1;
  db::DataFile f;
  int code = startup::RunMainFlow(term, [&] {
    answer = ui::Ask("Folytatja? I/N", "IN");
    ASSERT_TRUE(db::CreateDataFile(f, "T.DAT", 30).Ok());
    db::State().LastIOResult = db::kWriteError;  // as a full disk leaves it
    db::CheckDataIO(f, 7);
  });
  EXPECT_EQ(answer, 0) << "Esc";
  EXPECT_EQ(code, db::kWriteError);
  db::ResetEngine();
  std::filesystem::current_path(home);
  std::filesystem::remove_all(folder);
}

TEST(EngineStartup, TheProgramSettingsMayNameTheStation) {
  db::ResetEngine();
  console::SettingsStore& store = console::Settings().Stores[console::kProgramStore - 1];
  store.Loaded = true;
  store.Lines = {{"*ADATBAZIS", "\r\n"}, {"ALLOMAS=KASSZA2", "\r\n"}};
  db::UseHost host(startup::ConsoleHost());
  db::InitDatabase();
  EXPECT_EQ(db::StationId(), "KASSZA2");
  db::DoneDatabase();
  db::ResetEngine();
  console::Settings() = {};
}

}  // namespace
