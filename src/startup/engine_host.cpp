// The engine's host on the console: its boxes and questions are the
// toolkit's, its keys the console's, its end console::EndProgram.
#include <cstdio>
#include <optional>

#include "console/console.h"
#include "db/db.h"
#include "startup/startup.h"
#include "ui/ui.h"

namespace startup {
namespace {

// The busy box: a frame over saved cells in the inverse of the text colour,
// the output state and the cells put back when it goes.
class BusyBoxView final : public db::HostView {
 public:
  explicit BusyBoxView(int topRow) : top_(topRow) {
    ui::SaveState(state_);
    console::SetWindow(30, top_, 60, 16);
    cells_.resize(static_cast<std::size_t>(ui::WindowBufferSize()));
    ui::SaveWindow(cells_);
    attr_ = console::Inverse(console::TextAttr());
    ui::FillWindow(' ', attr_);
    ui::DrawFrame("", ui::FrameChars(1), attr_, attr_);
  }
  ~BusyBoxView() override {
    console::SetWindow(30, top_, 60, 16);
    ui::RestoreWindow(cells_);
    ui::RestoreState(state_);
  }
  void Write(int column, int row, std::string_view text) override { ui::WriteAt(column, row, text, attr_); }

 private:
  int top_;
  std::uint8_t attr_ = 0;
  ui::ScreenState state_;
  std::vector<std::uint8_t> cells_;
};

// The rebuild's own framed window, or its title line in the current window.
class RebuildView final : public db::HostView {
 public:
  RebuildView(bool ownWindow, std::string_view title) {
    if (ownWindow) {
      window_.emplace(10, 6, 70, 19);
      window_->Title = std::string(title);
      window_->Draw();
      console::GotoXY(1, 2);
    } else {
      ui::WriteAt(1, console::WhereY(), title, ui::RoleAttr(ui::kRoleTitle));
      console::GotoXY(1, console::WhereY() + 1);
    }
  }
  void Write(int column, int row, std::string_view text) override {
    ui::WriteAt(column, row, text, console::TextAttr());
  }

 private:
  std::optional<ui::Window> window_;
};

// A counter's label on the cursor's line from column 2; its number after it.
class CounterView final : public db::HostView {
 public:
  explicit CounterView(std::string_view label) : row_(console::WhereY()) {
    ui::WriteAt(2, row_, label, console::TextAttr());
    column_ = 2 + static_cast<int>(label.size());
    console::GotoXY(1, row_ + 1);
  }
  void Write(int column, int row, std::string_view text) override {
    ui::WriteAt(column_ + column - 1, row_ + row - 1, text, console::TextAttr());
  }

 private:
  int row_, column_ = 1;
};

// One line of output to the current window, scrolling it up at its last
// row.
void WindowLine(std::string_view line) {
  int row = console::WhereY();
  if (row > ui::WindowHeight()) row = ui::WindowHeight();
  ui::WriteAt(1, row, line, console::TextAttr());
  if (row < ui::WindowHeight()) {
    console::GotoXY(1, row + 1);
    return;
  }
  std::vector<std::uint8_t> cells(static_cast<std::size_t>(ui::WindowBufferSize()));
  ui::SaveWindow(cells);
  std::size_t rowBytes = static_cast<std::size_t>(ui::WindowWidth()) * 2;
  cells.erase(cells.begin(), cells.begin() + static_cast<std::ptrdiff_t>(rowBytes));
  for (std::size_t i = 0; i < rowBytes; i += 2) {
    cells.push_back(' ');
    cells.push_back(console::TextAttr());
  }
  ui::RestoreWindow(cells);
  console::GotoXY(1, row);
}

class Console final : public db::Host {
 public:
  std::string StationSetting() override {
    std::string id;
    if (!console::StoreLoaded(console::kProgramStore) ||
        console::ReadSetting(console::kProgramStore, "ADATBAZIS", "ALLOMAS", id) < 0)
      return {};
    return id;
  }
  std::string MachineName() override { return console::ComputerName(); }
  int Ask(std::string_view message, std::string_view answers) override {
    return ui::Ask(message, answers);
  }
  void Report(std::string_view report) override { console::WriteFatalReport(report); }
  [[noreturn]] void End(int code) override { console::EndProgram(code); }
  void Line(std::string_view text) override {
    if (console::ConsoleOpen()) return WindowLine(text);
    db::HeadlessHost().Line(text);
  }
  bool Attended() override { return console::ConsoleAttended(); }
  bool InputWaiting() override { return console::ConsoleOpen() && console::KeyPressed(); }
  db::KeyTaken TakeInput() override {
    platform::Event event;
    if (!console::ReadKeyEvent(event) || event.Kind != platform::EventKind::kKey) return db::KeyTaken::kNone;
    return console::TranslateKey(event.Key) == console::key::kEsc ? db::KeyTaken::kEsc : db::KeyTaken::kOther;
  }
  std::unique_ptr<db::HostView> ShowBusyBox(int topRow) override {
    if (!console::ConsoleOpen()) return nullptr;
    return std::make_unique<BusyBoxView>(topRow);
  }
  std::unique_ptr<db::HostView> ShowRebuild(bool ownWindow, std::string_view title) override {
    return std::make_unique<RebuildView>(ownWindow, title);
  }
  std::unique_ptr<db::HostView> ShowCounter(std::string_view label) override {
    return std::make_unique<CounterView>(label);
  }
};

}  // namespace

db::Host& ConsoleHost() {
  static Console host;
  return host;
}

}  // namespace startup
