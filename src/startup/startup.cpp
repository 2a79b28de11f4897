#include "startup/startup.h"

#include <memory>
#include <optional>

#include "console/console.h"
#include "db/db.h"
#include "files/files.h"
#include "ui/ui.h"

namespace startup {
namespace {

std::string g_defaultDataFolder;

}  // namespace

const std::string& DefaultDataFolderName() { return g_defaultDataFolder; }

void Sequence::Start() {
  while (started_ < steps_.size()) {
    steps_[started_].Start();
    ++started_;
  }
}

void Sequence::Stop() {
  while (started_ > 0) {
    --started_;
    if (steps_[started_].Stop) steps_[started_].Stop();
  }
}

std::vector<std::string> Sequence::Started() const {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < started_; ++i) names.push_back(steps_[i].Name);
  return names;
}

void AddStandardSteps(Sequence& sequence, platform::Terminal& terminal,
                      platform::ConsoleFontControl* fontControl,
                      std::function<void()> loadUpdateSettings) {
  sequence.Add({"console driver", [&terminal] { console::OpenConsole(terminal); },
                [] { console::CloseConsole(); }});
  auto previousMode = std::make_shared<int>(0);
  sequence.Add({"code page mode",
                [previousMode] {
                  *previousMode = console::CodePageMode();
                  console::SetCodePageMode(50);
                },
                [previousMode] { console::SetCodePageMode(*previousMode); }});
  sequence.Add({"console settings",
                [fontControl] {
                  console::SettingsStartup();
                  console::SetFontControl(fontControl);
                  console::ConsoleStartup();
                  ui::SetFontStepper([](int direction) { console::StepFont(direction); });
                },
                [] {
                  ui::SetFontStepper(nullptr);
                  console::ConsoleShutdown();
                  console::SetFontControl(nullptr);
                }});
  sequence.Add({"default data folder", [] { g_defaultDataFolder = "szla22"; },
                [] { g_defaultDataFolder.clear(); }});
  sequence.Add({"utility start-up",
                [load = std::move(loadUpdateSettings)] { files::UtilityStartup(load); }, {}});
  auto host = std::make_shared<std::optional<db::UseHost>>();
  sequence.Add({"database engine",
                [host] {
                  host->emplace(ConsoleHost());
                  db::InitDatabase();
                },
                [host] {
                  db::EndOnFailure(db::CloseAllFiles());  // a header that could not be written back
                  db::DoneDatabase();
                  host->reset();
                }});
}

namespace {

// Undoes every started step. A step that ends the program on the way (a
// file that fails to close) still lets the steps before it be undone; the
// first end's code stands.
void StopAll(Sequence& sequence, int& code) {
  for (;;) {
    try {
      sequence.Stop();
      return;
    } catch (const console::ProgramEnd& end) {
      if (code == 0) code = end.Code;
    }
  }
}

}  // namespace

int RunMainFlow(platform::Terminal& terminal, const std::function<void()>& mainFlow,
               platform::ConsoleFontControl* fontControl,
               std::function<void()> loadUpdateSettings) {
  Sequence sequence;
  AddStandardSteps(sequence, terminal, fontControl, std::move(loadUpdateSettings));
  int code = 0;
  try {
    sequence.Start();
    mainFlow();
  } catch (const console::ProgramEnd& end) {
    code = end.Code;
  } catch (...) {
    StopAll(sequence, code);
    throw;
  }
  StopAll(sequence, code);
  return code;
}

int RunMainFlow(const std::function<void()>& mainFlow,
               std::function<void()> loadUpdateSettings) {
  auto terminal = platform::MakeNativeTerminal();
  auto fontControl = platform::MakeNativeFontControl();
  return RunMainFlow(*terminal, mainFlow, fontControl.get(), std::move(loadUpdateSettings));
}

int RunBatchJob(const std::function<void()>& mainFlow) {
  if (platform::StandardStreamsOnConsole()) return RunMainFlow(mainFlow);
  platform::HeadlessTerminal unseen;
  unseen.SetAttended(false);
  return RunMainFlow(unseen, mainFlow);
}

}  // namespace startup
