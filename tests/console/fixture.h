// A console opened on an 80 x 25 headless terminal for each test.
#pragma once
#include <gtest/gtest.h>

#include "console/console.h"
#include "platform/terminal.h"

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override { console::OpenConsole(term); }
  void TearDown() override { console::CloseConsole(); }

  std::string Row(int row) { return term.RowText(row - 1); }  // 1-based, as shown
  platform::Cell Shown(int column, int row) { return term.At(column - 1, row - 1); }

  platform::HeadlessTerminal term{80, 25};
};
