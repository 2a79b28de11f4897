// The engine without a screen: no console is open, and every message,
// wait, key and end goes through the host installed, which records them.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "db/db.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/sysinfo.h"
#include "../deadline.h"

namespace {

using namespace platform::literals;

struct HostEnded {
  int Code;
};

// Records what the engine shows; answers questions with Esc; ends by
// throwing HostEnded.
class RecordingHost final : public db::Host {
 public:
  std::vector<std::string> Asked, Reports, Lines, Shown, Written;
  std::deque<db::KeyTaken> Keys;

  std::string StationSetting() override { return "RECORDER"; }
  std::string MachineName() override { return "MACHINE"; }
  int Ask(std::string_view message, std::string_view) override {
    Asked.emplace_back(message);
    return 0;
  }
  void Report(std::string_view report) override { Reports.emplace_back(report); }
  [[noreturn]] void End(int code) override { throw HostEnded{code}; }
  void Line(std::string_view text) override { Lines.emplace_back(text); }
  bool Attended() override { return false; }
  bool InputWaiting() override { return !Keys.empty(); }
  db::KeyTaken TakeInput() override {
    db::KeyTaken key = Keys.front();
    Keys.pop_front();
    return key;
  }
  std::unique_ptr<db::HostView> ShowBusyBox(int topRow) override {
    return View("busy box from row " + std::to_string(topRow));
  }
  std::unique_ptr<db::HostView> ShowRebuild(bool ownWindow, std::string_view title) override {
    return View(std::string(ownWindow ? "window" : "title") + std::string(title));
  }
  std::unique_ptr<db::HostView> ShowCounter(std::string_view label) override {
    return View("counter " + std::string(label));
  }

 private:
  class Recorded final : public db::HostView {
   public:
    explicit Recorded(std::vector<std::string>& written) : written_(written) {}
    void Write(int column, int row, std::string_view text) override {
      written_.push_back(std::to_string(column) + "," + std::to_string(row) + ":" + std::string(text));
    }

   private:
    std::vector<std::string>& written_;
  };
  std::unique_ptr<db::HostView> View(std::string what) {
    Shown.push_back(std::move(what));
    return std::make_unique<Recorded>(Written);
  }
};

class HeadlessEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = std::filesystem::current_path();
    folder_ = std::filesystem::temp_directory_path() /
              ("tormex-db-host-" + std::to_string(platform::ProcessId()));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    std::filesystem::current_path(folder_);
    db::ResetEngine();
    db::InitDatabase();
  }
  void TearDown() override {
    EXPECT_TRUE(db::CloseAllFiles().Ok());
    db::DoneDatabase();
    db::ResetEngine();
    std::filesystem::current_path(home_);
    std::filesystem::remove_all(folder_);
  }
  int EndCode(const std::function<void()>& body) {
    try {
      body();
    } catch (const HostEnded& end) {
      return end.Code;
    }
    return -1;
  }
  void MakeRecords(const std::string& name, int recLen, const std::vector<std::string>& keys) {
    db::DataFile f;
    ASSERT_TRUE(db::CreateDataFile(f, name, recLen).Ok());
    for (const std::string& key : keys) {
      std::string image(static_cast<std::size_t>(recLen), ' ');
      image[4] = 1;
      image.replace(5, key.size(), key);
      std::int32_t n = 0;
      db::AppendRecord(f, n, image.data());
    }
    EXPECT_TRUE(db::CloseDataFile(f).Ok());
  }

  test_support::Deadline deadline_{"a headless engine test", std::chrono::seconds(60)};
  RecordingHost host_;
  db::UseHost use_{host_};
  std::filesystem::path home_, folder_;
};

TEST_F(HeadlessEngineTest, StationNameMessagesAndFatalEndsGoThroughTheHost) {
  EXPECT_EQ(db::StationId(), "RECORDER");
  ASSERT_EQ(platform::WriteFileBytes("ODD.DAT", std::string(101, '\0')), 0);
  db::DataFile odd;
  EXPECT_EQ(EndCode([&] { (void)db::OpenDataFile(odd, "ODD.DAT", 40); }), 1);
  ASSERT_EQ(host_.Asked.size(), 1u);
  EXPECT_EQ(host_.Asked[0].substr(0, 33), "Hibás rekordhossz a(z) ODD.DAT ál"_cp);
  EXPECT_FALSE(odd.Handle->IsOpen());

  MakeRecords("T.DAT", 40, {"ONE"});
  db::DataFile f;
  ASSERT_TRUE(db::OpenDataFile(f, "T.DAT", 40).Ok());
  db::State().LastIOResult = db::kWriteError;
  host_.Keys = {db::KeyTaken::kOther};
  EXPECT_EQ(EndCode([&] { db::CheckDataIO(f, 7); }), db::kWriteError);
  ASSERT_EQ(host_.Reports.size(), 1u);
  EXPECT_NE(host_.Reports[0].find("File T.DAT Record 7"), std::string::npos) << host_.Reports[0];
  EXPECT_EQ(host_.Keys.size(), 1u) << "nobody is at the screen: no key is waited for";
  EXPECT_FALSE(f.Handle->IsOpen());
}

TEST_F(HeadlessEngineTest, AWaitShowsTheBusyBoxAndEscGivesItUp) {
  MakeRecords("T.DAT", 40, {"ONE"});
  db::DataFile sharer, locker;
  EXPECT_TRUE(db::OpenDataFile(sharer, "T.DAT", 40).Ok());
  EXPECT_TRUE(db::OpenDataFile(locker, "T.DAT", 40).Ok());
  ASSERT_TRUE(db::ShareFile(sharer));
  host_.Keys = {db::KeyTaken::kOther, db::KeyTaken::kNone, db::KeyTaken::kEsc};
  EXPECT_FALSE(db::LockWholeFile(locker));
  EXPECT_TRUE(host_.Keys.empty());
  ASSERT_EQ(host_.Shown.size(), 1u);
  EXPECT_EQ(host_.Shown[0], "busy box from row 12");
  ASSERT_GE(host_.Written.size(), 3u);
  EXPECT_EQ(host_.Written[0], "1,1:" + std::string("   A file-t foglalják!   "_cp));
  EXPECT_EQ(host_.Written[2], "2,3:T.DAT");
}

TEST_F(HeadlessEngineTest, StaleMarkersAndTheRebuildReportThroughTheHost) {
  MakeRecords("KESZLET.dat", 40, {"SAME", "SAME", "OTHER"});
  std::string bytes;
  ASSERT_EQ(platform::ReadFileBytes("KESZLET.dat", bytes), 0);
  bytes[16] = 1;
  ASSERT_EQ(platform::WriteFileBytes("KESZLET.dat", bytes), 0);
  EXPECT_EQ(db::ClearStaleMarkers("*.dat", "", "KESZLET.DAT"), 0);
  ASSERT_EQ(host_.Lines.size(), 1u);
  EXPECT_NE(host_.Lines[0].find("KESZLET.dat Tranzakció!"_cp), std::string::npos) << host_.Lines[0];

  db::RebuildResult result = db::RebuildIndex(false, "KESZLET I 40 0 6 8");
  ASSERT_EQ(result.Code, db::kRebuildDone) << result.Reason;
  EXPECT_EQ(result.Indexed, 2);
  ASSERT_FALSE(host_.Shown.empty());
  EXPECT_EQ(host_.Shown[0], "title KESZLET ");
  EXPECT_EQ(host_.Shown[1], "counter KESZLET beolvasott      : ");
  EXPECT_NE(std::find(host_.Written.begin(), host_.Written.end(), "1,1:     3"), host_.Written.end());
  ASSERT_EQ(host_.Asked.size(), 1u);  // the skipped record, left as it is on Esc
  EXPECT_NE(host_.Asked[0].find("Kimaradt rekordok"), std::string::npos);
}

}  // namespace
