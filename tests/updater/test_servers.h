// The loopback FTP servers that tests/ftpserver.py --start runs around this
// suite (see tests/CMakeLists.txt), as its state file describes them.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>

struct TestServers {
  std::filesystem::path Root;
  std::filesystem::path DriveD;  // drive D: (under Wine the fixture maps it; here the drive table)
  int Port = 0;  // a normal server
  // One whose downloads stall, one that never answers, and a port with nothing.
  int StallPort = 0, SilentPort = 0, ClosedPort = 0;
  // One whose downloads trickle (a byte a second), one that announces every
  // file as 1 PiB and sends zeros, and one that answers as a web server.
  int TricklePort = 0, HugePort = 0, HttpPort = 0;
  // One whose listings never end, and one that resets every listing's data
  // connection (downloads go as normal on both).
  int EndlessListPort = 0, ResetListPort = 0;
  // First downloads of each file end halfway; REST kept, ignored, or the
  // first half changed.
  int BreakPort = 0, NoRestPort = 0, ChangedPort = 0;
  // One that refuses the login.
  int RefusePort = 0;
};

// A path of the Linux host as this program opens it (under Wine: drive Z:).
inline std::filesystem::path HostPath(const std::string& path) {
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') return std::filesystem::path("Z:" + path);
#endif
  return std::filesystem::path(path);
}

// False when the suite runs without the servers (not through CTest).
inline bool ReadServers(TestServers& servers) {
  const char* stateFile = std::getenv("TORMEX_TEST_FTP_STATE");
  if (!stateFile) return false;
  std::ifstream in(HostPath(stateFile));
  std::map<std::string, std::string> state;
  for (std::string line; std::getline(in, line);)
    if (auto eq = line.find('='); eq != std::string::npos) state[line.substr(0, eq)] = line.substr(eq + 1);
  if (!state.count("drived")) return false;
  servers.Root = HostPath(state["root"]);
  servers.DriveD = HostPath(state["drived"]);
  // Each server's port under its name in the state file.
  constexpr std::pair<const char*, int TestServers::*> kPorts[] = {
      {"port", &TestServers::Port},
      {"stallport", &TestServers::StallPort},
      {"silentport", &TestServers::SilentPort},
      {"closedport", &TestServers::ClosedPort},
      {"trickleport", &TestServers::TricklePort},
      {"hugeport", &TestServers::HugePort},
      {"httpport", &TestServers::HttpPort},
      {"endlesslistport", &TestServers::EndlessListPort},
      {"resetlistport", &TestServers::ResetListPort},
      {"breakport", &TestServers::BreakPort},
      {"norestport", &TestServers::NoRestPort},
      {"changedport", &TestServers::ChangedPort},
      {"refuseport", &TestServers::RefusePort},
  };
  for (const auto& [name, port] : kPorts) servers.*port = std::stoi(state[name]);
  return true;
}

