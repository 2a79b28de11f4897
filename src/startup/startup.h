// The programs' common start-up and shut-down.
//
// Every program runs its main flow through RunMainFlow: the library's
// start-up steps run first, in the system's order, each exactly once; at the
// end the steps that ran are undone in reverse order, whether the main flow
// returned, ended through console::EndProgram or failed.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "db/host.h"
#include "platform/console_font.h"
#include "platform/terminal.h"

namespace startup {

struct Step {
  std::string Name;
  std::function<void()> Start;
  std::function<void()> Stop;  // may be empty
};

// A list of steps started in order and stopped in reverse order.
class Sequence {
 public:
  void Add(Step step) { steps_.push_back(std::move(step)); }
  // Starts the steps not yet started. A step that throws stops the start:
  // the steps started before it stay started (Stop undoes them).
  void Start();
  // Undoes every started step, last first.
  void Stop();
  // The names of the started steps, in start order.
  std::vector<std::string> Started() const;

 private:
  std::vector<Step> steps_;
  std::size_t started_ = 0;
};

// The name of the suite's default data folder, "szla22" from its start-up
// step on ("" before).
const std::string& DefaultDataFolderName();

// The start-up steps of this layer in the system's order: the console
// driver on the given terminal; the console code page mode 50; the console
// and user settings (computer name read, user name emptied, settings-file
// paths set, then the font control once per program through fontControl,
// nullptr for none), with the font keys of the toolkit's key reader handed
// to console::StepFont; the default data-folder name; the utility start-up
// (files::UtilityStartup) with loadUpdateSettings as its update-settings
// step (empty: none); the database engine on the console's host
// (ConsoleHost installed, db::InitDatabase; at the end db::CloseAllFiles,
// then db::DoneDatabase, and the host before it back).
void AddStandardSteps(Sequence& sequence, platform::Terminal& terminal,
                      platform::ConsoleFontControl* fontControl = nullptr,
                      std::function<void()> loadUpdateSettings = {});

// The engine's host on the console: the toolkit's boxes and questions, the
// console's keys, console::EndProgram as the program's end.
db::Host& ConsoleHost();

// Runs mainFlow between start-up and shut-down and returns the exit code:
// 0 when it returns, the code of console::EndProgram otherwise.
int RunMainFlow(platform::Terminal& terminal, const std::function<void()>& mainFlow,
               platform::ConsoleFontControl* fontControl = nullptr,
               std::function<void()> loadUpdateSettings = {});
// The same on the console or terminal the program was started in, with its
// font control.
int RunMainFlow(const std::function<void()>& mainFlow,
               std::function<void()> loadUpdateSettings = {});
// The same for a batch job: on the console when standard input and output
// are the console, else (started from a script or a scheduled task) on an
// in-memory screen that nobody sees, without font control. A batch job
// must not wait for keys.
int RunBatchJob(const std::function<void()>& mainFlow);

}  // namespace startup
