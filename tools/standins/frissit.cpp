// The stand-in installer that the update package carries as frissit.exe.
// The updater starts it in its working folder after unpacking the package;
// it unpacks szlamind.zip (the suite's full file set, in the current
// folder) into the program folder named by the environment variable
// TORMEX_INSTALL_FOLDER, writes the list of installed files to frissit.txt
// there and prints one line about it.
// Exit code 0 when installed, 1 when szlamind.zip cannot be unpacked, 2 when
// no program folder is named (then nothing is touched); TORMEX_FRISSIT_EXIT,
// when set, is the exit code of an installation that went well (a test's
// installer that fails after its work). Its start and end are
// logged (standins::LogRun); TORMEX_FRISSIT_SECONDS makes it take that long,
// so that a test can tell whether the updater waited for it.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "zipfile.h"

namespace {

constexpr const char* kFolderVariable = "TORMEX_INSTALL_FOLDER";
constexpr const char* kFullSet = "szlamind.zip";
constexpr const char* kReport = "frissit.txt";

void WriteReport(const std::filesystem::path& folder, const standins::ExtractResult& result) {
  std::ofstream report(folder / kReport, std::ios::binary | std::ios::trunc);
  report << "frissit: " << kFullSet << " -> " << folder.string() << "\n";
  for (const std::string& name : result.Written) report << name << "\n";
}

int Install() {
  const char* folder = std::getenv(kFolderVariable);
  if (folder == nullptr || *folder == '\0') {
    standins::Say(std::string("frissit: nincs megadva a programmappa (") + kFolderVariable + ")",
                  true);
    return 2;
  }
  auto result = standins::ExtractZip(kFullSet, folder, true);
  if (!result.Ok) {
    for (const std::string& error : result.Errors) standins::Say("frissit: " + error, true);
    return 1;
  }
  WriteReport(folder, result);
  standins::Say("frissit: " + std::to_string(result.Written.size()) +
                " fájl telepítve ide: " + std::string(folder));
  const char* code = std::getenv("TORMEX_FRISSIT_EXIT");
  return code ? std::atoi(code) : 0;
}

}  // namespace

int main() {
  standins::LogRun("frissit start");
  if (const char* seconds = std::getenv("TORMEX_FRISSIT_SECONDS"))
    std::this_thread::sleep_for(std::chrono::seconds(std::atoi(seconds)));
  int code = Install();
  standins::LogRun("frissit end");
  return code;
}
