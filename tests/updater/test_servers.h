// The loopback FTP servers that tests/ftpserver.py --start runs around this
// suite (see tests/CMakeLists.txt), as its state file describes them.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

struct TestServers {
  std::filesystem::path root;
  std::filesystem::path driveD;  // drive D: (under Wine the fixture maps it; here the drive table)
  int port = 0;  // a normal server
  // One whose downloads stall, one that never answers, and a port with nothing.
  int stallPort = 0, silentPort = 0, closedPort = 0;
  // One whose downloads trickle (a byte a second), one that announces every
  // file as 1 PiB and sends zeros, and one that answers as a web server.
  int tricklePort = 0, hugePort = 0, httpPort = 0;
  // One whose listings never end, and one that resets every listing's data
  // connection (downloads go as normal on both).
  int endlessListPort = 0, resetListPort = 0;
  // First downloads of each file end halfway; REST kept, ignored, or the
  // first half changed.
  int breakPort = 0, noRestPort = 0, changedPort = 0;
  // One that refuses the login.
  int refusePort = 0;
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
  servers.root = HostPath(state["root"]);
  servers.driveD = HostPath(state["drived"]);
  servers.port = std::stoi(state["port"]);
  servers.stallPort = std::stoi(state["stallport"]);
  servers.silentPort = std::stoi(state["silentport"]);
  servers.closedPort = std::stoi(state["closedport"]);
  servers.tricklePort = std::stoi(state["trickleport"]);
  servers.hugePort = std::stoi(state["hugeport"]);
  servers.httpPort = std::stoi(state["httpport"]);
  servers.endlessListPort = std::stoi(state["endlesslistport"]);
  servers.resetListPort = std::stoi(state["resetlistport"]);
  servers.breakPort = std::stoi(state["breakport"]);
  servers.noRestPort = std::stoi(state["norestport"]);
  servers.changedPort = std::stoi(state["changedport"]);
  servers.refusePort = std::stoi(state["refuseport"]);
  return true;
}

