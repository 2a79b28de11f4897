// The frame that the tests' station programs share: a station is started as
// `PROGRAM FOLDER STATION`, works in FOLDER as station STATION, answers one
// line per command line on its standard input, and ends with "bye CODE".
#pragma once
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>

#include "db/db.h"
#include "platform/sysinfo.h"
#include "platform/terminal.h"
#include "startup/startup.h"

namespace station {

inline void Say(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// Says "ok ready", then hands each line (without a CR at its end) to serve
// until the input ends or serve returns false.
inline void ServeLines(const std::function<bool(const std::string&)>& serve) {
  Say("ok ready");
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!serve(line)) break;
  }
}

// The arguments' folder becomes the current folder and the station
// identifier is set before the programs' start-up; body runs inside it on
// terminal. Returns the exit code (2 for missing arguments).
inline int RunStation(int argc, char** argv, platform::Terminal& terminal,
                      const std::function<void()>& body) {
  platform::SetProgramArgs(argc, argv);
  if (argc < 3) return 2;
  std::filesystem::current_path(argv[1]);
  db::SetStationId(argv[2]);
  int code = startup::RunMainFlow(terminal, body);
  Say("bye " + std::to_string(code));
  return code;
}

}  // namespace station
