// Running other programs, handing the console to them, deleting files.
#include <cctype>

#include "console/console.h"
#include "files/files.h"
#include "files/internal.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "text/text.h"
#include "ui/ui.h"

namespace files {
namespace {

using namespace platform::literals;

constexpr int kColumns = 80, kRows = 25;

// The folder search: the name itself when it exists (relative to the
// current folder), else the first folder of the ";"-separated ProgramFolder
// list that holds it; "" when none does.
std::string FindInFolders(const std::string& name) {
  if (platform::FileExists(name)) return name;
  const std::string& list = State().ProgramFolder;
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    std::string path = list.substr(start, end - start);
    start = end + 1;
    if (path.empty()) continue;
    if (path.back() != '\\' && path.back() != ':') path += '\\';
    if (platform::FileExists(path + name)) return path + name;
  }
  return {};
}

// The file of a program name: the name as it is when it has a ".", else the
// name with ".exe", ".bat", ".com" in that order; "" when none is found.
std::string SearchProgram(const std::string& name) {
  if (name.find('.') != std::string::npos) return FindInFolders(name);
  for (const char* extension : {".exe", ".bat", ".com"}) {
    std::string found = FindInFolders(name + extension);
    if (!found.empty()) return found;
  }
  return {};
}

bool IsAbsolute(const std::string& path) {
  return (path.size() >= 2 && path[1] == ':') || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

// "CD" (any case) changes the current folder to the parameters, tried once
// more in Windows-1250; true when one of them succeeded.
bool ChangeFolderCommand(const std::string& name, const std::string& parameters) {
  if (text::UpperCaseText(name) != "CD") return false;
  return platform::ChangeFolder(parameters) == 0 ||
         platform::ChangeFolder(text::OemToAnsiText(parameters)) == 0;
}

// Starts the program and records its exit code, or the start's error.
void Start(const std::string& program, const std::string& parameters, bool direct) {
  std::uint32_t code = State().ExitCode;
  int rc = direct || program.find('\\') != std::string::npos
               ? platform::StartAndWait(program, parameters, code)
               : platform::RunCommand(program + " " + parameters, code);
  if (rc != 0) State().StartError = rc;
  else State().ExitCode = code;
}

std::uint16_t Run(std::string_view name, std::string_view parameters, bool pauseAfter,
                  bool direct) {
  std::string args = text::TrimRight(detail::Cut(parameters));
  std::string program = text::TrimRight(detail::Cut(name));
  if (ChangeFolderCommand(program, args)) return 0;

  ui::ScreenState state;
  ui::SaveState(state);
  std::vector<std::uint8_t> screen(kColumns * kRows * 2);
  console::SaveRect(1, 1, kColumns, kRows, screen.data());
  // The released console keeps the caller's window, cursor and attribute
  // for its return; the child gets the system's console as it stands.
  ReleaseConsole();

  std::string found = SearchProgram(program);
  if (direct && !found.empty() && !IsAbsolute(found))
    found = platform::CurrentFolder() + "\\" + found;
  if (!found.empty() && found.find('"') == std::string::npos) program = '"' + found + '"';
  Start(program, args, direct);
  if (pauseAfter) platform::PauseOnPlainConsole("Tovább bármivel..."_cp, direct);

  AcquireConsole();
  console::RestoreRect(1, 1, kColumns, kRows, screen.data());
  ui::RestoreState(state);
  return static_cast<std::uint16_t>(State().ExitCode & 0xFFFF);
}

// Writes a line at the cursor of the current window; the cursor goes to
// the start of the next row.
void WriteLine(std::string_view line) {
  ui::WriteAt(console::WhereX(), console::WhereY(), line, console::TextAttr());
  console::GotoXY(1, console::WhereY() + 1);
}

bool EndsInNul(const std::string& s) { return !s.empty() && s.back() == '\0'; }

}  // namespace

std::uint16_t RunProgram(std::string_view name, std::string_view parameters, bool pauseAfter) {
  return Run(name, parameters, pauseAfter, false);
}

std::uint16_t RunProgramDirect(std::string_view name, std::string_view parameters,
                               bool pauseAfter) {
  return Run(name, parameters, pauseAfter, true);
}

void RunCommandLine(std::string_view commandLine) {
  std::string line = detail::Cut(commandLine);
  bool quit = EndsInNul(line);
  if (quit) line.pop_back();
  while (!line.empty() && (line.back() == ' ' || line.back() == '\0')) line.pop_back();
  std::size_t blank = line.find(' ');
  if (blank == std::string::npos) RunProgram(line, "", false);
  else RunProgram(line.substr(0, blank), line.substr(blank + 1), false);
  if (quit) console::EndProgram(0);
}

void RunAndQuit(std::string_view name) {
  std::string program = detail::Cut(name);
  if (!EndsInNul(program)) {
    RunProgram(program, "", false);
    return;
  }
  program.pop_back();
  RunProgram(program, "", false);
  WriteLine("Az Enter lenyomása után a program kilép!"_cp);
  ui::WaitKey();
  console::EndProgram(0);
}

bool ShellOpen(std::string_view fileName, std::string_view parameters) {
  return platform::ShellOpen(detail::Cut(fileName), detail::Cut(parameters));
}

bool EraseFile(std::string_view fileName) {
  return platform::EraseFile(detail::Cut(fileName)) == 0;
}

void ReleaseConsole() {
  ReleasedConsole& r = State().Released;
  if (r.Terminal || !console::ConsoleOpen()) return;
  const console::ConsoleState& s = console::State();
  r = {s.Terminal, s.Width,   s.Height,   s.Cells,
       s.WindMin,  s.WindMax, s.CursorX,  s.CursorY,
       s.TextAttr, static_cast<int>(s.CursorShape)};
  console::CloseConsole();
}

void AcquireConsole() {
  ReleasedConsole r = std::move(State().Released);
  State().Released = {};
  if (!r.Terminal) return;
  console::OpenConsole(*r.Terminal);
  console::ConsoleState& s = console::State();
  if (s.Width == r.Width && s.Height == r.Height) {  // else the caller's state no longer fits
    s.Cells = std::move(r.Cells);
    s.WindMin = r.WindMin;
    s.WindMax = r.WindMax;
    s.CursorX = r.CursorX;
    s.CursorY = r.CursorY;
    s.TextAttr = r.TextAttr;
    console::SetCursor(static_cast<console::Cursor>(r.CursorShape));
  }
  console::Repaint();
}

}  // namespace files
