// A console on an 80 x 25 headless terminal, the toolkit reset, the mouse
// initialised and a manual clock installed for each test.
#pragma once
#include <gtest/gtest.h>

#include "console/console.h"
#include "platform/sysinfo.h"
#include "platform/terminal.h"
#include "ui/ui.h"

class ToolkitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetClock(&clock);
    console::OpenConsole(term);
    ui::ResetToolkit();
    ui::InitMouse();
  }
  void TearDown() override {
    ui::ResetToolkit();
    console::CloseConsole();
    platform::SetClock(nullptr);
  }

  // What a person sees: characters of a screen row (1-based) and one cell.
  std::string Row(int row) { return term.RowText(row - 1); }
  platform::Cell Cell(int column, int row) { return term.At(column - 1, row - 1); }
  // A left or right button event at a 1-based screen position.
  void Mouse(int column, int row, std::uint32_t buttons) { term.PushMouse(column - 1, row - 1, buttons); }

  platform::HeadlessTerminal term{80, 25};
  platform::ManualClock clock;
};
