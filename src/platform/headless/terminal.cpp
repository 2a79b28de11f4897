#include "platform/codepage.h"
#include "platform/terminal.h"

namespace platform {

HeadlessTerminal::HeadlessTerminal(int width, int height)
    : width_(width), height_(height), cells_(static_cast<size_t>(width * height)) {}

bool HeadlessTerminal::Open(std::string&) {
  open_ = true;
  return true;
}

void HeadlessTerminal::Close() { open_ = false; }

bool HeadlessTerminal::Lost(std::string& reason) const {
  if (lost_) reason = "A konzol megszűnt."_cp;
  return lost_;
}

void HeadlessTerminal::WriteCells(int x, int y, const Cell* cells, int count) {
  if (y < 0 || y >= height_) return;
  for (int i = 0; i < count && x + i < width_; ++i) {
    if (x + i >= 0) cells_[y * width_ + x + i] = cells[i];
  }
  cellsWritten_ += count;
}

bool HeadlessTerminal::NextEvent(Event& event) {
  if (events_.empty()) return false;
  event = events_.front();
  events_.erase(events_.begin());
  return true;
}

bool HeadlessTerminal::PeekEvent(Event& event) {
  if (events_.empty()) return false;
  event = events_.front();
  return true;
}

void HeadlessTerminal::PushKey(std::uint8_t scan, std::uint8_t ch, std::uint32_t shift) {
  Event e;
  e.Kind = EventKind::kKey;
  e.Key = {scan, ch, shift};
  events_.push_back(e);
}

void HeadlessTerminal::PushChar(char ch) {
  PushKey(ScanCodeOfChar(ch), static_cast<std::uint8_t>(ch));
}

void HeadlessTerminal::PushMouse(int x, int y, std::uint32_t buttons, bool moved) {
  Event e;
  e.Kind = EventKind::kMouse;
  e.Mouse.X = x;
  e.Mouse.Y = y;
  e.Mouse.Buttons = buttons;
  e.Mouse.Moved = moved;
  events_.push_back(e);
}

bool HeadlessTerminal::RaiseControl(ControlEvent event) {
  return handler_ ? handler_(event) : false;
}

std::string HeadlessTerminal::RowText(int y) const {
  std::string row;
  for (int x = 0; x < width_; ++x) row += static_cast<char>(cells_[y * width_ + x].Ch);
  return row;
}

}  // namespace platform
