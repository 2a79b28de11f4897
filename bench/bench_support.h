// What the measurement programs share: the engine started headless, wall
// time of a piece of work, and a fresh scratch folder.
#pragma once
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "console/console.h"
#include "db/db.h"
#include "platform/terminal.h"
#include "ui/ui.h"

namespace bench {

// A measurement cannot go on without the file: a failed open or close ends
// the program with a message and exit code 1.
inline void Must(const db::Result& result) {
  if (result.Ok()) return;
  std::fprintf(stderr, "%s: engine error %d\n", result.File.c_str(), result.Code);
  std::exit(1);
}

// A station's engine: a headless console (busy boxes and counters need
// one), the engine started with this station's identifier. The destructor
// closes every file and stops the engine and the console again.
struct EngineSession {
  platform::HeadlessTerminal Term;
  explicit EngineSession(const std::string& station) {
    console::OpenConsole(Term);
    ui::ResetToolkit();
    db::ResetEngine();
    db::SetStationId(station);
    db::InitDatabase();
  }
  ~EngineSession() {
    bench::Must(db::CloseAllFiles());
    db::DoneDatabase();
    db::ResetEngine();
    console::CloseConsole();
  }
  EngineSession(const EngineSession&) = delete;
  EngineSession& operator=(const EngineSession&) = delete;
};

// Wall-clock seconds that work takes.
inline double Seconds(const std::function<void()>& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A folder of this process for program's files (not created here): in
// /dev/shm when there is one, else in the temporary folder.
inline std::filesystem::path ScratchFolder(std::string_view program) {
  namespace fs = std::filesystem;
  fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  return base / (std::string(program) + "-" + std::to_string(getpid()));
}

}  // namespace bench
