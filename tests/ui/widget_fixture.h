// The toolkit fixture for widgets that run their own key loop.
//
// Input for a modal widget is scripted in steps: Then(step) queues a step
// that runs when the widget next waits for input (through the idle
// procedure, so a step may look at the screen before it pushes keys). When
// the steps run out while the widget still waits, ScriptEnded is thrown, so
// a wrong key loop fails the test instead of hanging it.
#pragma once
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "toolkit_fixture.h"

struct ScriptEnded : std::runtime_error {
  ScriptEnded() : std::runtime_error("the script ran out while the widget waited for input") {}
};

class WidgetTest : public ToolkitTest {
 protected:
  void SetUp() override {
    ToolkitTest::SetUp();
    ui::SetIdle([this] { NextStep(); }, 1);
  }
  void TearDown() override {
    EXPECT_EQ(next_, steps_.size()) << "the widget closed before every step ran";
    ToolkitTest::TearDown();
  }

  void Then(std::function<void()> step) { steps_.push_back(std::move(step)); }

  // Keys and mouse actions, pushed at once.
  void Key(std::uint8_t scan) { term.PushKey(scan, 0); }
  void Chars(std::string_view chars) {
    for (char c : chars) term.PushChar(c);
  }
  void Enter() { term.PushKey(platform::scan::kEnter, 13); }
  void Esc() { term.PushKey(platform::scan::kEsc, 27); }
  // A left press and release at a 1-based screen position.
  void Click(int column, int row) {
    Mouse(column, row, 1);
    Mouse(column, row, 0);
  }
  // Two quick clicks. A console delivers the second release only a few
  // polls after the second press; events the toolkit ignores stand in for
  // those polls here.
  void DoubleClick(int column, int row) {
    Click(column, row);
    Mouse(column, row, 1);
    platform::Event pause;
    pause.Kind = platform::EventKind::kResize;
    term.PushEvent(pause);
    term.PushEvent(pause);
    Mouse(column, row, 0);
  }

  // What a person sees, 1-based.
  std::string Text(int column, int row, int length) { return Row(row).substr(column - 1, length); }
  std::uint8_t Attr(int column, int row) { return Cell(column, row).Attr; }
  std::vector<platform::Cell> Screen() {
    std::vector<platform::Cell> cells;
    for (int y = 0; y < term.Height(); ++y)
      for (int x = 0; x < term.Width(); ++x) cells.push_back(term.At(x, y));
    return cells;
  }

 private:
  void NextStep() {
    if (next_ >= steps_.size()) throw ScriptEnded{};
    steps_[next_++]();
  }
  std::vector<std::function<void()>> steps_;
  std::size_t next_ = 0;
};
