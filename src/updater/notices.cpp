// The status line on the bottom screen row and the countdown notice.
#include <algorithm>
#include <vector>

#include "console/console.h"
#include "platform/codepage.h"
#include "platform/sysinfo.h"
#include "text/text.h"
#include "ui/ui.h"
#include "updater/updater.h"

using namespace platform::literals;

namespace updater {

namespace {

constexpr int kScreenWidth = 80, kBottomRow = 25;

int Low(std::uint16_t corner) { return corner & 0xFF; }
int High(std::uint16_t corner) { return corner >> 8; }

void ShowStatusRow(std::string_view text, StatusHandle& handle) {
  std::string shown(text.substr(0, kScreenWidth));
  if (!shown.empty() && shown.size() <= kScreenWidth - 2) shown = " " + shown + " ";
  int width = static_cast<int>(shown.size());
  int left = Low(console::WindMin()), windowWidth = Low(console::WindMax()) - left + 1;
  int column = std::max(1, left + 1 + (windowWidth - 1 - width) / 2);
  if (column + width > kScreenWidth + 1) column = kScreenWidth + 1 - width;
  int row = std::min(kBottomRow, High(console::WindMax()) + 3);

  handle = std::make_unique<StatusRow>();
  handle->Column = static_cast<std::uint8_t>(column);
  handle->Row = static_cast<std::uint8_t>(row);
  handle->Width = static_cast<std::uint8_t>(width);
  handle->Chars = ui::ReadRowChars(1, kScreenWidth, row);
  handle->Attrs = ui::ReadRowAttrs(1, kScreenWidth, row);
  if (width == 0) return;
  ui::WriteCharsAt(column, column + width - 1, row, shown);
  ui::WriteAttrsAt(column, column + width - 1, row,
                   std::string(static_cast<std::size_t>(width), static_cast<char>(console::TextAttr())));
}

void RemoveStatusRow(StatusHandle& handle) {
  if (!handle) return;
  ui::WriteCharsAt(1, kScreenWidth, handle->Row, handle->Chars);
  ui::WriteAttrsAt(1, kScreenWidth, handle->Row, handle->Attrs);
  handle.reset();
}

// True when a key was pressed; the key is taken from the input. Other input
// events are taken and ignored.
bool TakeKey() {
  platform::Event event;
  while (console::KeyPressed() && console::ReadKeyEvent(event)) {
    if (event.Kind == platform::EventKind::kKey) {
      console::TranslateKey(event.Key);
      return true;
    }
  }
  return false;
}

}  // namespace

void StatusLine(bool show, std::string_view text, StatusHandle& handle) {
  ui::ScreenState state;
  ui::SaveState(state);
  console::SetWindow(1, kBottomRow, kScreenWidth, kBottomRow);
  if (show)
    ShowStatusRow(text, handle);
  else
    RemoveStatusRow(handle);
  ui::RestoreState(state);
}

void CountdownNotice(std::int16_t seconds, std::string_view text) {
  ui::ScreenState state;
  ui::SaveState(state);
  console::SetWindow(1, kBottomRow - 3, kScreenWidth, kBottomRow);
  std::vector<std::uint8_t> under;
  ui::SaveWindow(under);
  std::uint8_t attr = console::TextAttr();
  ui::DrawFrame("", ui::FrameChars(2), attr, attr);
  ui::FillWindow(' ', attr);

  console::StopwatchMark start;
  console::StopwatchStart(start);
  const std::string tail(" másodperc elteltével, vagy bármely billentyű lenyomására tovább"_cp);
  for (int left = seconds;;) {
    ui::WriteAt(5, 1, text, attr);
    ui::WriteAt(1, 2, text::FormatPicture("###", left) + tail, attr);
    platform::SleepMs(100);
    if (TakeKey()) break;
    if ((seconds - left + 1) * 100L < console::StopwatchElapsed(start)) --left;
    if (left < 1) break;
  }

  ui::GrowWindow();
  ui::RestoreWindow(under);
  ui::RestoreState(state);
}

}  // namespace updater
