#include "startup/startup.h"

#include <memory>

#include "console/console.h"

namespace startup {
namespace {
int g_codePageMode = 0;
}  // namespace

void Sequence::Start() {
  while (started_ < steps_.size()) {
    steps_[started_].start();
    ++started_;
  }
}

void Sequence::Stop() {
  while (started_ > 0) {
    --started_;
    if (steps_[started_].stop) steps_[started_].stop();
  }
}

std::vector<std::string> Sequence::Started() const {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < started_; ++i) names.push_back(steps_[i].name);
  return names;
}

int CodePageMode() { return g_codePageMode; }
void SetCodePageMode(int mode) { g_codePageMode = mode; }

void AddStandardSteps(Sequence& sequence, platform::Terminal& terminal) {
  sequence.Add({"console driver", [&terminal] { console::OpenConsole(terminal); },
                [] { console::CloseConsole(); }});
  auto previousMode = std::make_shared<int>(0);
  sequence.Add({"code page mode",
                [previousMode] {
                  *previousMode = CodePageMode();
                  SetCodePageMode(50);
                },
                [previousMode] { SetCodePageMode(*previousMode); }});
}

int RunProgram(platform::Terminal& terminal, const std::function<void()>& mainFlow) {
  Sequence sequence;
  AddStandardSteps(sequence, terminal);
  int code = 0;
  try {
    sequence.Start();
    mainFlow();
  } catch (const console::ProgramEnd& end) {
    code = end.code;
  } catch (...) {
    sequence.Stop();
    throw;
  }
  sequence.Stop();
  return code;
}

int RunProgram(const std::function<void()>& mainFlow) {
  auto terminal = platform::MakeNativeTerminal();
  return RunProgram(*terminal, mainFlow);
}

}  // namespace startup
