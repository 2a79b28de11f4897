// The code page mode, the user and machine names, the settings stores and the
// stopwatch.
#include <string>

#include "console/console.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/sysinfo.h"
#include "text/text.h"

namespace console {
namespace {

SettingsState g_settings;

SettingsStore* StoreOf(int n) {
  return n >= 1 && n <= 4 ? &g_settings.Stores[static_cast<std::size_t>(n - 1)] : nullptr;
}

SettingsStore* LoadedStore(int n) {
  SettingsStore* store = StoreOf(n);
  return store && store->Loaded ? store : nullptr;
}

// The run-time library's I/O error handler: the program ends with the
// error's number.
[[noreturn]] void IoError(int code) { EndProgram(code); }

std::vector<StoreLine> SplitLines(std::string_view bytes) {
  std::vector<StoreLine> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t lf = bytes.find('\n', start);
    if (lf == std::string_view::npos) {
      lines.push_back({std::string(bytes.substr(start)), ""});
      break;
    }
    std::size_t end = lf > start && bytes[lf - 1] == '\r' ? lf - 1 : lf;
    lines.push_back({std::string(bytes.substr(start, end - start)), std::string(bytes.substr(end, lf + 1 - end))});
    start = lf + 1;
  }
  return lines;
}

std::string JoinLines(const std::vector<StoreLine>& lines) {
  std::string bytes;
  for (const StoreLine& line : lines) bytes += line.Text + line.Ending;
  return bytes;
}

// The ending of the store's first line that has one; CR LF when none has.
std::string NewLineEnding(const SettingsStore& store) {
  for (const StoreLine& line : store.Lines)
    if (!line.Ending.empty()) return line.Ending;
  return "\r\n";
}

void InsertLine(SettingsStore& store, std::size_t at, std::string text) {
  std::string ending = NewLineEnding(store);
  if (at == store.Lines.size() && at > 0 && store.Lines.back().Ending.empty())
    store.Lines.back().Ending = ending;
  store.Lines.insert(store.Lines.begin() + static_cast<std::ptrdiff_t>(at), {std::move(text), ending});
}

bool IsSectionLine(const StoreLine& line) { return !line.Text.empty() && line.Text[0] == '*'; }

// The lines of store 4, from the registry.
std::vector<StoreLine> ConsoleStoreLines() {
  std::string face;
  int height = ReadConsoleFont(face);
  if (face.empty()) face = "Lucida Console";
  return {{"*cmdwindow", "\r\n"}, {"font=" + face, "\r\n"}, {"fontsize=" + std::to_string(height), "\r\n"}};
}

std::vector<StoreLine> FileStoreLines(const std::string& path) {
  if (!platform::FileExists(path)) {
    if (int rc = platform::WriteFileBytes(path, "User" + g_settings.UserName + "\r\n")) IoError(rc);
  }
  std::string bytes;
  if (int rc = platform::ReadFileBytes(path, bytes)) IoError(rc);
  return SplitLines(bytes);
}

}  // namespace

SettingsState& Settings() { return g_settings; }

// ---- Code page mode and output ---------------------------------------------------

int CodePageMode() { return g_settings.CodePageMode; }
void SetCodePageMode(int mode) { g_settings.CodePageMode = mode; }

std::string OutputText(std::string_view s) {
  return CodePageMode() == 50 ? std::string(s) : text::Cp852ToLegacyFull(s);
}

// ---- User and machine ----------------------------------------------------------------

const std::string& UserName() { return g_settings.UserName; }
void SetUserName(std::string_view name) { g_settings.UserName = text::Short(std::string(name)); }
const std::string& ComputerName() { return g_settings.ComputerName; }

void SettingsStartup() {
  g_settings.ComputerName = text::Short(platform::ComputerName());
  g_settings.UserName.clear();
  SetStorePaths();
}

// ---- Settings stores ----------------------------------------------------------------

void SetStorePaths() {
  std::string folder = platform::ProgramFolder();
  g_settings.Stores[0].Path = text::Short(platform::JoinPath(folder, "prog.res"));
  g_settings.Stores[1].Path = text::Short(platform::JoinPath(folder, "user" + g_settings.UserName.substr(0, 4) + ".res"));
  g_settings.Stores[2].Path = "adat.res";
  g_settings.Stores[3].Path.clear();
}

const std::string& StorePath(int n) {
  static const std::string kNone;
  SettingsStore* store = StoreOf(n);
  return store ? store->Path : kNone;
}

void OpenStore(int n) {
  SettingsStore* store = StoreOf(n);
  if (!store || store->Loaded) return;
  store->Lines = n == kConsoleStore ? ConsoleStoreLines() : FileStoreLines(store->Path);
  store->Loaded = true;
}

bool StoreLoaded(int n) { return LoadedStore(n) != nullptr; }

int FindSection(int n, std::string_view section) {
  SettingsStore* store = LoadedStore(n);
  if (!store) return -1;
  std::string wanted = platform::UpperOem(std::string("*").append(section));
  for (std::size_t i = 0; i < store->Lines.size(); ++i)
    if (platform::UpperOem(store->Lines[i].Text) == wanted) return static_cast<int>(i);
  return -1;
}

int ReadSetting(int n, std::string_view section, std::string_view key, std::string& value) {
  value.clear();
  int at = FindSection(n, section);
  if (at < 0) return -1;
  const std::vector<StoreLine>& lines = LoadedStore(n)->Lines;
  for (std::size_t i = static_cast<std::size_t>(at) + 1; i < lines.size() && !IsSectionLine(lines[i]); ++i) {
    const std::string& line = lines[i].Text;
    std::size_t eq = line.find('=');
    if (eq != std::string::npos && std::string_view(line).substr(0, eq) == key) {
      value = text::Short(line.substr(eq + 1));
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool WriteSetting(int n, std::string_view section, std::string_view key, std::string_view value) {
  SettingsStore* store = LoadedStore(n);
  if (!store) return false;
  std::string entry = std::string(key) + "=" + std::string(value);
  std::string old;
  if (int at = ReadSetting(n, section, key, old); at >= 0) {
    store->Lines[static_cast<std::size_t>(at)].Text = entry;
    return true;
  }
  int at = FindSection(n, section);
  if (at < 0) {
    InsertLine(*store, store->Lines.size(), std::string("*").append(section));
    InsertLine(*store, store->Lines.size(), entry);
    return true;
  }
  std::size_t end = static_cast<std::size_t>(at) + 1;
  while (end < store->Lines.size() && !IsSectionLine(store->Lines[end])) ++end;
  InsertLine(*store, end, entry);
  return true;
}

bool SaveStore(int n) {
  SettingsStore* store = LoadedStore(n);
  if (!store) return false;
  if (n == kConsoleStore) return SaveConsoleFont();
  return platform::WriteFileBytes(store->Path, JoinLines(store->Lines)) == 0;
}

void CloseStore(int n) {
  SettingsStore* store = StoreOf(n);
  if (!store) return;
  store->Lines.clear();
  store->Loaded = false;
}

// ---- Stopwatch ------------------------------------------------------------------------

void StopwatchStart(StopwatchMark& mark) {
  platform::TimeOfDay t = platform::CurrentClock().Now();
  mark = {static_cast<std::uint16_t>(t.Hour), static_cast<std::uint16_t>(t.Minute),
          static_cast<std::uint16_t>(t.Second), static_cast<std::uint16_t>(t.Hundredths)};
}

long StopwatchElapsed(const StopwatchMark& mark) {
  auto hundredths = [](long h, long m, long s, long c) { return ((h * 60 + m) * 60 + s) * 100 + c; };
  platform::TimeOfDay t = platform::CurrentClock().Now();
  return hundredths(t.Hour, t.Minute, t.Second, t.Hundredths) -
         hundredths(mark.Hours, mark.Minutes, mark.Seconds, mark.Hundredths);
}

}  // namespace console
