// The engine's tests: a fresh folder as the current folder (so the log
// "DBACCESS.ERR" lands there), the console open on an 80 x 25 headless
// terminal, the toolkit and the engine reset and started, the station
// "TEST_1". Each test has a time bound of its own (TestBound): a lock or
// a station that a fault keeps waiting fails the test, named, instead of
// holding the suite until CTest's limit; and each wait of the engine in the
// test's own process is bounded (FailStuckWaits).
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/console.h"
#include "db/db.h"
#include "platform/fs.h"
#include "platform/sysinfo.h"
#include "platform/terminal.h"
#include "startup/startup.h"
#include "ui/ui.h"
#include "../deadline.h"
#include "../wine.h"

namespace db_test {

// Wine does not refuse reads and writes of bytes that another handle has
// locked (Windows does); tests of such refusals are skipped under it.
using test_support::UnderWine;

#define SKIP_UNDER_WINE_READS()                                                         \
  if (db_test::UnderWine())                                                            \
  GTEST_SKIP() << "Wine does not refuse reads and writes of bytes locked by another " \
                  "handle"

inline std::int32_t Int32At(const std::string& bytes, std::size_t at) {
  auto b = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + i])); };
  return static_cast<std::int32_t>(b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24));
}

// A record image of recLen bytes: fill everywhere, byte 4 (in use) set.
inline std::vector<std::uint8_t> Image(int recLen, std::uint8_t fill) {
  std::vector<std::uint8_t> image(static_cast<std::size_t>(recLen), fill);
  image[4] = 1;
  return image;
}

// Longer than the longest test takes (the kill loop's rounds on a busy
// machine), shorter than CTest's limit of a suite; five times as long
// under Wine, where every start of a station and every file operation
// costs more (the suite's limit then comes first).
// Lines of text that contain what.
inline int LinesWith(const std::string& text, std::string_view what) {
  std::istringstream lines(text);
  int count = 0;
  for (std::string line; std::getline(lines, line);) count += line.find(what) != std::string::npos;
  return count;
}

inline std::chrono::seconds TestBound() {
  constexpr std::chrono::seconds kNative(240);
  return UnderWine() ? 5 * kNative : kNative;
}

struct StuckWait : std::runtime_error {
  StuckWait() : std::runtime_error("an engine wait that nobody would end") {}
};

// How long a wait in a test may go on before it counts as one that nobody
// will end (a lock the station itself still holds, a key that no test
// pushed): far longer than any wait the tests mean.
inline std::chrono::seconds StuckWaitBound() {
  return std::chrono::seconds(UnderWine() ? 60 : 20);
}

// A stuck wait fails its test, named, by an exception that ends the wait. A
// second one in the same suite ends the suite at once: a fault that strands
// one wait strands the next test's too.
[[noreturn]] inline void FailStuckWait(const std::string& what) {
  static bool strandedBefore = false;
  const char* test = ::testing::UnitTest::GetInstance()->current_test_info()
                         ? ::testing::UnitTest::GetInstance()->current_test_info()->name()
                         : "(between tests)";
  if (strandedBefore) {
    std::fprintf(stderr, "FAILED: %s: %s; after the first such wait the suite stops here\n",
                 test, what.c_str());
    std::fflush(stderr);
    std::_Exit(1);
  }
  strandedBefore = true;
  ADD_FAILURE() << what;
  throw StuckWait{};
}

// The watcher of the engine's waits (db::WaitWatchGuard): a wait is a run
// of pauses with no gap over 2 s (a restart may do much work between two).
inline std::function<void()> FailStuckEngineWaits() {
  using Clock = std::chrono::steady_clock;
  return [last = Clock::time_point{}, start = Clock::time_point{}]() mutable {
    Clock::time_point now = Clock::now();
    if (now - last > std::chrono::seconds(2)) start = now;
    last = now;
    if (now - start >= StuckWaitBound())
      FailStuckWait("an engine wait went on for " + std::to_string(StuckWaitBound().count()) +
                    " s: a lock or a key that nobody will give");
  };
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    deadline_.emplace(std::string("the test ") +
                          ::testing::UnitTest::GetInstance()->current_test_info()->name() + " as a whole",
                      TestBound());
    static int serial = 0;
    home_ = std::filesystem::current_path();
    folder_ = std::filesystem::temp_directory_path() /
              ("tormex-db-" + std::to_string(platform::ProcessId()) + "-" + std::to_string(++serial));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    std::filesystem::current_path(folder_);
    console::OpenConsole(term);
    ui::ResetToolkit();
    // A box or question of the toolkit that waits that long for a key no
    // test pushed (the engine's messages among them) is stuck too.
    ui::SetIdle([] { FailStuckWait("a box waited " + std::to_string(StuckWaitBound().count()) +
                                   " s for a key that no test pushed"); },
                static_cast<int>(StuckWaitBound().count()) * 100);
    db::ResetEngine();
    host_.emplace(startup::ConsoleHost());
    db::SetStationId("TEST_1");
    db::InitDatabase();
  }

  void TearDown() override {
    EXPECT_TRUE(db::CloseAllFiles().Ok());
    db::DoneDatabase();
    db::ResetEngine();
    host_.reset();
    ui::ResetToolkit();
    console::CloseConsole();
    std::filesystem::current_path(home_);
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
    deadline_.reset();
  }

  // The bytes of a file in the test's folder ("" when missing), read past
  // the byte-range locks that stations may hold on it.
  std::string Bytes(const std::string& name) {
    std::ifstream in(platform::ResolvePath(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void Put(const std::string& name, const std::string& bytes) {
    ASSERT_EQ(platform::WriteFileBytes(name, bytes), 0);
  }
  bool Exists(const std::string& name) { return std::filesystem::exists(folder_ / name); }

  // Runs body and returns the exit code it ended the program with, -1 when
  // it returned.
  int EndCode(const std::function<void()>& body) {
    try {
      body();
    } catch (const console::ProgramEnd& end) {
      return end.Code;
    }
    return -1;
  }

  // A key for the next wait or box (the terminal's input).
  void PressEnter() { term.PushKey(0x1C, 13); }
  void PressEsc() { term.PushKey(0x01, 27); }

  // The characters of a screen row (1-based).
  std::string Row(int row) { return term.RowText(row - 1); }
  // True when some row of the screen shows text.
  bool ScreenShows(std::string_view text) {
    for (int row = 1; row <= 25; ++row)
      if (Row(row).find(text) != std::string::npos) return true;
    return false;
  }

  // Creates a file of recLen-byte records holding the header and `records`
  // in-use records, and closes it.
  void MakeFile(const std::string& name, int recLen, int records) {
    db::DataFile f;
    ASSERT_TRUE(db::CreateDataFile(f, name, recLen).Ok());
    for (int i = 0; i < records; ++i) {
      std::int32_t n = 0;
      auto image = Image(recLen, static_cast<std::uint8_t>('a' + i % 26));
      db::AppendRecord(f, n, image.data());
    }
    EXPECT_TRUE(db::CloseDataFile(f).Ok());
  }

  platform::HeadlessTerminal term{80, 25};
  std::filesystem::path home_, folder_;

 private:
  std::optional<test_support::Deadline> deadline_;
  std::optional<db::UseHost> host_;  // the console's, as the programs have it
  db::WaitWatchGuard waitWatch_{FailStuckEngineWaits()};
};

}  // namespace db_test
