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
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/console.h"
#include "db/db.h"
#include "platform/fs.h"
#include "platform/sysinfo.h"
#include "platform/terminal.h"
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
inline std::chrono::seconds TestBound() {
  constexpr std::chrono::seconds kNative(240);
  return UnderWine() ? 5 * kNative : kNative;
}

struct StuckWait : std::runtime_error {
  StuckWait() : std::runtime_error("an engine wait that nobody would end") {}
};

// The watcher of the engine's waits in a test: a wait that nobody will end
// (a lock the station itself still holds, a fatal end's key that no test
// pushed) fails the test, named, within seconds. A wait is a run of pauses
// with no gap over 200 ms. The first stuck wait of a suite may last 20 s
// (60 s under Wine), a later one a second: a fault that strands one wait
// strands many.
inline std::function<void()> FailStuckWaits() {
  using Clock = std::chrono::steady_clock;
  return [last = Clock::time_point{}, start = Clock::time_point{}]() mutable {
    using namespace std::chrono_literals;
    static bool strandedBefore = false;
    Clock::time_point now = Clock::now();
    if (now - last > 200ms) start = now;
    last = now;
    auto bound = strandedBefore ? 1s : UnderWine() ? 60s : 20s;
    if (now - start < bound) return;
    strandedBefore = true;
    start = now;
    ADD_FAILURE() << "an engine wait went on for " << bound.count()
                  << " s: a lock or a key that nobody will give";
    throw StuckWait{};
  };
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    deadline_.emplace(::testing::UnitTest::GetInstance()->current_test_info()->name(), TestBound());
    static int serial = 0;
    home_ = std::filesystem::current_path();
    folder_ = std::filesystem::temp_directory_path() /
              ("tormex-db-" + std::to_string(platform::ProcessId()) + "-" + std::to_string(++serial));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    std::filesystem::current_path(folder_);
    console::OpenConsole(term);
    ui::ResetToolkit();
    db::ResetEngine();
    db::SetStationId("TEST_1");
    db::InitDatabase();
  }

  void TearDown() override {
    db::CloseAllFiles();
    db::DoneDatabase();
    db::ResetEngine();
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
      return end.code;
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
    db::CreateDataFile(f, name, recLen);
    ASSERT_TRUE(db::DbOk());
    for (int i = 0; i < records; ++i) {
      std::int32_t n = 0;
      auto image = Image(recLen, static_cast<std::uint8_t>('a' + i % 26));
      db::AppendRecord(f, n, image.data());
    }
    db::CloseDataFile(f);
  }

  platform::HeadlessTerminal term{80, 25};
  std::filesystem::path home_, folder_;

 private:
  std::optional<test_support::Deadline> deadline_;
  db::WaitWatchGuard waitWatch_{FailStuckWaits()};
};

}  // namespace db_test
