// The stand-in unpacker that the demo and test servers offer as unzip.exe:
// "unzip -qo ARCHIVE" extracts every entry of a zip archive (stored or
// deflated) into the current folder. -q keeps it quiet on success, -o lets
// it replace existing files (without -o an existing file is an error).
// An entry that cannot be written (such as the running unzip.exe itself on
// Windows) is reported and the rest are still extracted. Exit code 0 when
// everything was extracted, 1 when something was not, 2 on a wrong command
// line. Each run is logged (standins::LogRun) as "folder|arguments".
#include <filesystem>
#include <string>
#include <string_view>

#include "zipfile.h"

namespace {

struct Options {
  bool Quiet = false, Overwrite = false;
  std::string Archive;
};

bool ParseArguments(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg.size() > 1 && arg.front() == '-') {
      for (char letter : arg.substr(1)) {
        if (letter == 'q') options.Quiet = true;
        else if (letter == 'o') options.Overwrite = true;
        else return false;
      }
    } else if (options.Archive.empty()) {
      options.Archive = arg;
    } else {
      return false;
    }
  }
  return !options.Archive.empty();
}

}  // namespace

int main(int argc, char** argv) {
  std::string arguments;
  for (int i = 1; i < argc; ++i) arguments += std::string(i > 1 ? " " : "") + argv[i];
  standins::LogRun(std::filesystem::current_path().string() + "|" + arguments);
  Options options;
  if (!ParseArguments(argc, argv, options)) {
    standins::Say("Használat: unzip [-q] [-o] ARCHÍVUM", true);
    return 2;
  }
  auto result = standins::ExtractZip(options.Archive, ".", options.Overwrite);
  if (!options.Quiet)
    for (const std::string& name : result.Written) standins::Say("  kibontva: " + name);
  for (const std::string& error : result.Errors) standins::Say("unzip: " + error, true);
  return result.Ok ? 0 : 1;
}
