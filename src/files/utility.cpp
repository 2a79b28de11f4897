// The layer's start-up values and state, and its small helpers.
#include <cstdio>

#include "console/console.h"
#include "files/files.h"
#include "files/internal.h"
#include "platform/fs.h"
#include "platform/sysinfo.h"
#include "text/text.h"
#include "ui/ui.h"

namespace files {
namespace {

FilesState g_state;

}  // namespace

FilesState& State() { return g_state; }

namespace detail {

std::string Cut(std::string_view s) { return text::Short(std::string(s)); }

void ReturnTo(const std::string& folder) {
  if (int rc = platform::ChangeFolder(folder)) console::EndProgram(rc);
}

}  // namespace detail

const std::string& ProgramFolder() { return g_state.ProgramFolder; }
const std::string& DataFolder() { return g_state.DataFolder; }
void SetDataFolder(std::string_view folder) { g_state.DataFolder = detail::Cut(folder); }
const std::string& Today() { return g_state.Today; }

void UtilityStartup(const std::function<void()>& loadUpdateSettings) {
  AcquireConsole();
  console::ConsoleStartup();  // a second call after the console settings' step does nothing
  g_state.ProgramFolder = detail::Cut(FolderPart(platform::WindowsPath(platform::ProgramPath())));
  g_state.DataFolder = g_state.ProgramFolder;
  platform::Date d = platform::CurrentClock().Today();
  char today[16];
  std::snprintf(today, sizeof today, "%04d%02d%02d", d.Year % 10000, d.Month % 100, d.Day % 100);
  g_state.Today = today;
  if (loadUpdateSettings) loadUpdateSettings();
  ui::SetIdle(nullptr, 0);
  ui::SetDefaultButtonMode(false);
  ui::SetViewMode('1');
  ui::InitMouse();
  ui::SetOutputMode(console::CodePageMode());
  console::SetWindow(1, 1, 80, 25);
}

}  // namespace files
