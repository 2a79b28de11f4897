// A console on a headless terminal with the toolkit started (the widget
// fixture of the toolkit's tests), run in a fresh temporary folder "work"
// beside a folder "prog" that stands for the program's own folder.
//
// Copies of the child program (helpers/child.cpp) play the programs that
// are started; each appends its name and arguments to "ran.txt" in the
// folder it runs in.
#pragma once
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../ui/widget_fixture.h"
#include "files/files.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "platform/sysinfo.h"
#include "../wine.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <stdlib.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

// Sets (or with an empty value removes) an environment variable.
inline void SetEnv(const char* name, const std::string& value) {
#ifdef _WIN32
  SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
#else
  if (value.empty()) unsetenv(name);
  else setenv(name, value.c_str(), 1);
#endif
}

using test_support::UnderWine;

class FilesTest : public WidgetTest {
 protected:
  void SetUp() override {
    WidgetTest::SetUp();
    static int serial = 0;
    start_ = fs::current_path();
    root_ = fs::temp_directory_path() /
            ("tormex-files-" + std::to_string(++serial) + "-" + std::to_string(Pid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "work");
    fs::create_directories(root_ / "prog");
    fs::current_path(root_ / "work");
    files::State() = {};
    files::State().ProgramFolder = Win(root_ / "prog");
    comspec_ = platform::GetEnvironment("comspec");
  }

  void TearDown() override {
    SetComspec(comspec_);
    fs::current_path(start_);
    std::error_code ec;
    for (auto& entry : fs::recursive_directory_iterator(root_, ec))
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root_, ec);
    WidgetTest::TearDown();
  }

  // A path of the system written as the platform reports paths.
  static std::string Win(const fs::path& p) { return platform::WindowsPath(p.string()); }
  fs::path Work() const { return root_ / "work"; }
  fs::path Prog() const { return root_ / "prog"; }

  // The command interpreter for the children ("" puts the usual one back).
  static void SetComspec(const std::string& value) {
#ifdef _WIN32
    SetEnv("COMSPEC", value);
#else
    SetEnv("ComSpec", value);  // POSIX has none: the lookup must ignore case
#endif
  }

  static fs::path Child() {
#ifdef _WIN32
    return fs::path(platform::ProgramFolder()) / "files_child.exe";
#else
    return fs::path(platform::ProgramFolder()) / "files_child";
#endif
  }
  // A copy of the child program under a name, in the work folder by default.
  void Install(const std::string& name, const fs::path& folder = {}) {
    fs::copy_file(Child(), (folder.empty() ? Work() : folder) / name,
                  fs::copy_options::overwrite_existing);
  }
  static void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // The lines of "ran.txt" in the work folder, split at "|".
  std::vector<std::vector<std::string>> Ran() {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(ReadFile(Work() / "ran.txt"));
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::vector<std::string> fields;
      std::size_t start = 0;
      for (std::size_t bar; (bar = line.find('|', start)) != std::string::npos; start = bar + 1)
        fields.push_back(line.substr(start, bar - start));
      fields.push_back(line.substr(start));
      lines.push_back(fields);
    }
    fs::remove(Work() / "ran.txt");
    return lines;
  }

  // Expects a message box showing text when the widget next waits, and
  // closes it with Enter.
  void ExpectMessage(std::string_view message) {
    Then([this, text = std::string(message)] {
      EXPECT_NE(Screen80x25().find(text), std::string::npos) << "no message: " << text;
      Enter();
    });
  }
  std::string Screen80x25() {
    std::string all;
    for (int row = 1; row <= 25; ++row) all += Row(row) + "\n";
    return all;
  }

 private:
  static long Pid() {
#ifdef _WIN32
    return static_cast<long>(GetCurrentProcessId());
#else
    return static_cast<long>(getpid());
#endif
  }
  fs::path start_, root_;
  std::string comspec_;
};
