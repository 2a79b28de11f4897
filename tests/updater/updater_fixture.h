// A console on an 80 x 25 headless terminal with a manual clock, where every
// row ever shown is kept, so a test can tell what a person saw during an
// operation. Whenever a widget waits for input, the next scripted step runs;
// with no step left, the screen is recorded as a message box and Enter is
// pressed (so every Ask is answered with its first button).
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "console/console.h"
#include "platform/codepage.h"
#include "platform/sysinfo.h"
#include "platform/terminal.h"
#include "ui/ui.h"

// Remembers the text of every row each time cells are written to it.
class RecordingTerminal : public platform::HeadlessTerminal {
 public:
  RecordingTerminal() : HeadlessTerminal(80, 25) {}
  void WriteCells(int x, int y, const platform::Cell* cells, int count) override {
    HeadlessTerminal::WriteCells(x, y, cells, count);
    Shown.push_back(RowText(y));
  }
  // True when some row ever shown held the text.
  bool Showed(std::string_view text) const {
    for (const std::string& row : Shown)
      if (row.find(text) != std::string::npos) return true;
    return false;
  }
  std::vector<std::string> Shown;
};

class UpdaterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetClock(&clock);
    console::OpenConsole(term);
    ui::ResetToolkit();
    ui::SetIdle([this] { NextStep(); }, 1);
  }
  void TearDown() override {
    ui::ResetToolkit();
    console::CloseConsole();
    platform::SetClock(nullptr);
  }

  // The screen of each message box shown so far, all rows joined by "\n".
  std::vector<std::string> boxes;
  // Steps for the next waits for input, in order.
  std::deque<std::function<void()>> script;
  void Then(std::function<void()> step) { script.push_back(std::move(step)); }
  // A step that does what is done when no step is left.
  void ThenAnswerBox() { Then([this] { AnswerBox(); }); }
  void Keys(std::initializer_list<std::uint8_t> scans) {
    for (std::uint8_t scan : scans)
      term.PushKey(scan, scan == platform::scan::kEnter ? 13 : scan == platform::scan::kEsc ? 27 : 0);
  }

  std::string Row(int row) { return term.RowText(row - 1); }
  std::string Screen() {
    std::string screen;
    for (int row = 1; row <= 25; ++row) screen += Row(row) + "\n";
    return screen;
  }

  RecordingTerminal term;
  platform::ManualClock clock;

 private:
  void NextStep() {
    if (script.empty()) return AnswerBox();
    auto step = std::move(script.front());
    script.pop_front();
    step();
  }
  // A box waits for a key: record it and press Enter.
  void AnswerBox() {
    if (boxes.size() > 20) throw std::runtime_error("too many message boxes");
    boxes.push_back(Screen());
    term.PushKey(platform::scan::kEnter, 13);
  }
};

// A whole file's bytes ("" when missing), and a file written whole (its
// folders made first).
inline std::string ReadAll(const std::filesystem::path& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

inline void WriteAll(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// Sets or removes an environment variable for the rest of the process.
inline void SetEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value.c_str());  // an empty value removes it
#else
  if (value.empty())
    unsetenv(name.c_str());
  else
    setenv(name.c_str(), value.c_str(), 1);
#endif
}
