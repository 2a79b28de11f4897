// Download throughput: FtpDownload against the curl command line, side by
// side, from the loopback FTP server of tests/ftpserver.py.
//
//   ftp_download [MiB [repetitions]]      (default 256 MiB, 5 repetitions)
//   ftp_download --checks [MiB [repetitions]]
//
// With --checks the two contenders are the updater's download without and
// with its checks: FtpDownload of the package, against the signed manifest
// fetched and checked, the package fetched into its part file, hashed and
// compared with the manifest, and given its name.
//
// Makes a file of that size on a server root in a fresh folder (in /dev/shm
// when there is one),
// starts the server on a free port, downloads the file alternately with
// FtpDownload (on a headless console) and with `curl` after one uncounted
// round of each, checks each copy's size, and prints every run, the median
// throughput of each and their ratio (FtpDownload's over curl's), and the
// median processor time of each and their ratio (curl's over FtpDownload's,
// so that above 1 means FtpDownload is the cheaper one). The processor time
// is the steadier measure on a busy machine.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "console/console.h"
#include "platform/crypto.h"
#include "platform/fs.h"
#include "platform/terminal.h"
#include "updater/updater.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

void MakeFile(const fs::path& path, std::size_t mib) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  std::vector<char> block(1 << 20);
  std::uint32_t x = 1;
  for (std::size_t i = 0; i < mib; ++i) {
    for (char& c : block) c = static_cast<char>((x = x * 1664525 + 1013904223) >> 24);
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
}

// The server as a child process; its port, read from its first output line.
struct Server {
  pid_t Pid = 0;
  int Port = 0;

  bool Start(const fs::path& root) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::string script = TORMEX_SOURCE_DIR "/tests/ftpserver.py";
    std::string rootArg = root.string();
    const char* argv[] = {"/usr/bin/python3", script.c_str(), "--root", rootArg.c_str(),
                          "--lifetime", "3600", nullptr};
    int rc = posix_spawn(&Pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (rc != 0) return false;
    FILE* out = fdopen(pipeFds[0], "r");
    if (!out || std::fscanf(out, "%d", &Port) != 1) Port = 0;
    if (out) std::fclose(out);
    return Port > 0;
  }
  ~Server() {
    if (Pid > 0) {
      kill(Pid, SIGTERM);
      waitpid(Pid, nullptr, 0);
    }
  }
};

// Processor seconds (user and system) of this process or of its ended children.
double CpuSeconds(int who) {
  rusage usage;
  getrusage(who, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Sample {
  double Wall = 0, Cpu = 0;  // seconds
};

// Runs one download; its processor time is taken from who.
Sample Measure(const std::function<bool()>& run, int who) {
  double cpuStart = CpuSeconds(who);
  auto start = std::chrono::steady_clock::now();
  if (!run()) {
    std::fprintf(stderr, "a download failed\n");
    std::exit(1);
  }
  return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
          CpuSeconds(who) - cpuStart};
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

constexpr const char* kBenchFolder = "ugy/BENCH";

// Signs the manifest of the package and unzip.exe on the server's root.
void SignManifest(const fs::path& root) {
  const fs::path folder = root / "letolt" / kBenchFolder;
  std::ofstream(root / "letolt" / "unzip.exe") << "unpacker";
  std::string command = std::string(TORMEX_SIGN_TOOL) + " manifest --key " TORMEX_SOURCE_DIR
                        "/tests/keys/update_current.pem --folder " + kBenchFolder +
                        " --serial 1 --expires 2099-01-01 --out '" + (folder / "pszla.man").string() + "' '" +
                        (folder / "pszla.zip").string() + "' '" + (root / "letolt" / "unzip.exe").string() + "'";
  if (std::system(command.c_str()) != 0) {
    std::fprintf(stderr, "signing failed: %s\n", command.c_str());
    std::exit(1);
  }
}

// The updater's checked download of the package (see the file comment).
bool CheckedDownload() {
  using updater::Downloaded;
  if (updater::FetchFile(kBenchFolder, "pszla.man", updater::kManifestMaxBytes) != Downloaded::kDone) return false;
  std::string text;
  updater::Manifest manifest;
  if (platform::ReadFileBytes("pszla.man", text) != 0 ||
      updater::CheckManifest(text, kBenchFolder, 0, 0, manifest) != updater::ManifestCheck::kAccepted)
    return false;
  const updater::ManifestFile& entry = *manifest.File("pszla.zip");
  if (updater::FetchFilePart(kBenchFolder, "pszla.zip", "pszla.zip.part", entry.Size, true) != Downloaded::kDone)
    return false;
  platform::Sha256Digest digest{};
  std::uint64_t size = 0;
  return platform::Sha256OfFile("pszla.zip.part", digest, size) && size == entry.Size &&
         digest == entry.Sha256 && platform::RenameFile("pszla.zip.part", "pszla.zip") == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool checks = argc > 1 && std::string(argv[1]) == "--checks";
  if (checks) --argc, ++argv;
  std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
  int repetitions = argc > 2 ? std::atoi(argv[2]) : 5;
  // In memory where possible, so that disk write-back does not decide.
  fs::path base = fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  fs::path work = base / ("tormex-ftp-bench-" + std::to_string(getpid()));
  fs::path root = work / "root", local = work / "local";
  fs::create_directories(local);
  MakeFile(root / "letolt" / "big.bin", mib);
  const auto size = static_cast<std::uintmax_t>(mib) << 20;
  if (checks) {
    fs::create_directories(root / "letolt" / kBenchFolder);
    fs::rename(root / "letolt" / "big.bin", root / "letolt" / kBenchFolder / "pszla.zip");
    SignManifest(root);
  }
  const fs::path got = local / (checks ? "pszla.zip" : "big.bin");

  Server server;
  if (!server.Start(root)) {
    std::fprintf(stderr, "the FTP server did not start (python3-pyftpdlib?)\n");
    return 1;
  }
  setenv("TORMEX_FTP_SERVER", ("127.0.0.1:" + std::to_string(server.Port)).c_str(), 1);
  std::string curl = "curl -s -o '" + (local / "big.bin").string() + "' ftp://" +
                     std::string(updater::kFtpUser) + ":" + std::string(updater::kFtpPassword) +
                     "@127.0.0.1:" + std::to_string(server.Port) + "/letolt/big.bin";

  platform::HeadlessTerminal terminal(80, 25);
  console::OpenConsole(terminal);
  fs::current_path(local);
  auto checked = [&](bool ok) {
    ok = ok && fs::file_size(got) == size;
    fs::remove(got);
    return ok;
  };
  auto viaLibrary = [&] {
    return checked(checks ? updater::FtpDownload(kBenchFolder, "pszla.zip") : updater::FtpDownload("", "big.bin"));
  };
  auto viaCurl = [&] { return checked(checks ? CheckedDownload() : std::system(curl.c_str()) == 0); };
  const char* theirName = checks ? "checked" : "curl";
  const int theirWho = checks ? RUSAGE_SELF : RUSAGE_CHILDREN;
  Measure(viaLibrary, RUSAGE_SELF);  // warm-up, not counted
  Measure(viaCurl, theirWho);
  std::vector<double> oursWall, oursCpu, curlWall, curlCpu;
  auto record = [&](Sample ours, Sample theirs) {
    oursWall.push_back(ours.Wall);
    oursCpu.push_back(ours.Cpu);
    curlWall.push_back(theirs.Wall);
    curlCpu.push_back(theirs.Cpu);
    std::printf("run %zu: FtpDownload %.1f MiB/s (%.3f s CPU), %s %.1f MiB/s (%.3f s CPU)\n",
                oursWall.size(), mib / ours.Wall, ours.Cpu, theirName, mib / theirs.Wall, theirs.Cpu);
  };
  for (int i = 0; i < repetitions; ++i) {
    if (i % 2) {
      Sample theirs = Measure(viaCurl, theirWho);
      record(Measure(viaLibrary, RUSAGE_SELF), theirs);
    } else {
      Sample ours = Measure(viaLibrary, RUSAGE_SELF);
      record(ours, Measure(viaCurl, theirWho));
    }
  }
  console::CloseConsole();
  fs::current_path(work.parent_path());
  fs::remove_all(work);

  double oursRate = mib / Median(oursWall), curlRate = mib / Median(curlWall);
  std::printf("%zu MiB, median of %d: FtpDownload %.1f MiB/s, %s %.1f MiB/s, ratio %.3f\n", mib,
              repetitions, oursRate, theirName, curlRate, oursRate / curlRate);
  // Processor time does not depend on what else the machine runs meanwhile.
  std::printf("processor time per download: FtpDownload %.3f s, %s %.3f s, ratio %.3f\n",
              Median(oursCpu), theirName, Median(curlCpu), Median(curlCpu) / Median(oursCpu));
  return 0;
}
