// POSIX terminals have no font control: the terminal keeps its own font and
// size, and nothing of the control can be made ready.
#include "platform/console_font.h"

namespace platform {
namespace {

class AbsentFontControl : public ConsoleFontControl {
 public:
  bool Load() override { return false; }
  void Unload() override {}
  bool SetFont(const std::string&, int) override { return false; }
  bool CurrentFont(std::string&, int&) override { return false; }
  ConsoleSize LargestWindow() override { return {80, 25}; }
  ConsoleSize BufferSize() override { return {80, 25}; }
  bool SetWindowRect(const ConsoleRect&) override { return false; }
  bool SetBufferSize(int, int) override { return false; }
  std::string OriginalTitle() override { return {}; }
  bool SetTitle(const std::string&) override { return false; }
  bool WindowRect(ConsoleRect&) override { return false; }
  bool WorkArea(ConsoleRect&) override { return false; }
  bool MoveWindow(int, int, int, int) override { return false; }
  void QuickEditOff() override {}
  void Remember() override {}
  void Restore() override {}
};

}  // namespace

std::unique_ptr<ConsoleFontControl> MakeNativeFontControl() {
  return std::make_unique<AbsentFontControl>();
}

}  // namespace platform
