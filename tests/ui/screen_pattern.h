// A full screen of varied characters and colours under a widget, so that a
// cell drawn over and not put back (or put back wrongly) shows.
#pragma once
#include <string>
#include <vector>

#include "console/console.h"
#include "platform/terminal.h"

inline void PaintPattern() {
  for (int row = 1; row <= console::ScreenHeight(); ++row)
    for (int column = 1; column <= console::ScreenWidth(); ++column)
      console::WriteString(column, row, std::string(1, static_cast<char>('A' + (column * row) % 26)),
                           static_cast<std::uint8_t>((column * 7 + row) & 0x7F));
}

// Every cell the terminal shows, row by row.
inline std::vector<platform::Cell> ShownCells(const platform::HeadlessTerminal& term) {
  std::vector<platform::Cell> cells;
  for (int y = 0; y < term.Height(); ++y)
    for (int x = 0; x < term.Width(); ++x) cells.push_back(term.At(x, y));
  return cells;
}
