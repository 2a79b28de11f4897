// The headless host and the host in use.
#include "db/host.h"

#include <cstdio>
#include <cstdlib>

#include "platform/sysinfo.h"

namespace db {
namespace {

void WriteOut(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

// No screen and nobody at it: messages to the standard error stream, the
// running lines and reports to the standard output, every question
// answered as with Esc, no key ever waiting.
class Headless final : public Host {
 public:
  std::string StationSetting() override { return {}; }
  std::string MachineName() override { return platform::ComputerName(); }
  int Ask(std::string_view message, std::string_view) override {
    std::string lines(message);
    for (char& c : lines)
      if (c == '\0') c = '\n';
    WriteOut(stderr, lines + "\n");
    return 0;
  }
  void Report(std::string_view report) override { WriteOut(stdout, report); }
  [[noreturn]] void End(int code) override {
    std::fflush(nullptr);
    std::exit(code);
  }
  void Line(std::string_view text) override { WriteOut(stdout, std::string(text) + "\n"); }
  bool Attended() override { return false; }
  bool InputWaiting() override { return false; }
  KeyTaken TakeInput() override { return KeyTaken::kNone; }
  std::unique_ptr<HostView> ShowBusyBox(int) override { return nullptr; }
  std::unique_ptr<HostView> ShowRebuild(bool, std::string_view) override { return nullptr; }
  std::unique_ptr<HostView> ShowCounter(std::string_view) override { return nullptr; }
};

Host*& Installed() {
  static Host* host = &HeadlessHost();
  return host;
}

}  // namespace

Host& HeadlessHost() {
  static Headless host;
  return host;
}

Host& CurrentHost() { return *Installed(); }

void EndProgram(int code) {
  CurrentHost().End(code);
  std::abort();
}

UseHost::UseHost(Host& host) : installed_(Installed(), &host) {}

}  // namespace db
