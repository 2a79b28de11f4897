// Child programs on Win32: CreateProcessA, the "comspec" interpreter and
// ShellExecuteA.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "platform/codepage.h"
#include "platform/process.h"
#include "platform/text_internal.h"

namespace platform {
namespace {

BOOL WINAPI LeaveBreaksToTheChild(DWORD event) {
  return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

// While a child runs, Ctrl+C and Ctrl+Break end the child, not the parent.
// (A handler is not inherited, so the child keeps the default one.)
class ChildBreaks {
 public:
  ChildBreaks() { SetConsoleCtrlHandler(LeaveBreaksToTheChild, TRUE); }
  ~ChildBreaks() { SetConsoleCtrlHandler(LeaveBreaksToTheChild, FALSE); }
};

using detail::SameIgnoringCase;

std::wstring Wide(std::string_view oem) {
  std::wstring text;
  for (char c : oem) text += static_cast<wchar_t>(Cp852ToUnicode(static_cast<std::uint8_t>(c)));
  return text;
}

bool IsModifier(WORD key) {
  return key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU || key == VK_CAPITAL ||
         key == VK_NUMLOCK || key == VK_SCROLL;
}

HANDLE OpenConsoleFile(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
}

}  // namespace

int StartAndWait(std::string_view program, std::string_view arguments, std::uint32_t& exitCode) {
  std::string line = ProgramCommandLine(program, arguments);
  std::vector<char> buffer(line.begin(), line.end());
  buffer.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.wShowWindow = SW_SHOWNORMAL;  // not flagged in dwFlags: no effect
  PROCESS_INFORMATION info{};
  ChildBreaks breaks;
  if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                      nullptr, nullptr, &startup, &info))
    return static_cast<int>(GetLastError());
  CloseHandle(info.hThread);
  DWORD code = 0xFFFFFFFF;
  if (WaitForSingleObject(info.hProcess, INFINITE) == WAIT_FAILED ||
      !GetExitCodeProcess(info.hProcess, &code))
    code = 0xFFFFFFFF;
  CloseHandle(info.hProcess);
  exitCode = code;
  return 0;
}

int RunCommand(std::string_view command, std::uint32_t& exitCode) {
  return StartAndWait(GetEnvironment("comspec"), "/c " + std::string(command), exitCode);
}

std::string GetEnvironment(std::string_view name) {
  char* block = GetEnvironmentStringsA();
  if (!block) return {};
  std::string value;
  for (const char* entry = block; *entry; entry += std::strlen(entry) + 1) {
    std::string_view item(entry);
    std::size_t equals = item.find('=', 1);  // "=C:=C:\x" names a drive's folder
    if (equals != std::string_view::npos && SameIgnoringCase(item.substr(0, equals), name)) {
      value = std::string(item.substr(equals + 1));
      break;
    }
  }
  FreeEnvironmentStringsA(block);
  return value;
}

bool ShellOpen(std::string_view file, std::string_view parameters) {
  std::string f(file), p(parameters);
  HINSTANCE result = ShellExecuteA(nullptr, "open", f.c_str(), p.c_str(), "", SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

void PauseOnPlainConsole(std::string_view prompt, bool newLineFirst) {
  HANDLE out = OpenConsoleFile("CONOUT$");
  HANDLE in = OpenConsoleFile("CONIN$");
  CONSOLE_SCREEN_BUFFER_INFO info;
  DWORD mode = 0;
  if (out != INVALID_HANDLE_VALUE && in != INVALID_HANDLE_VALUE &&
      GetConsoleScreenBufferInfo(out, &info) && GetConsoleMode(in, &mode)) {
    COORD row{0, static_cast<SHORT>(std::min<int>(info.srWindow.Top + 24, info.dwSize.Y - 1))};
    SetConsoleCursorPosition(out, row);
    DWORD n = 0;
    if (newLineFirst) {
      FillConsoleOutputCharacterA(out, ' ', static_cast<DWORD>(info.dwSize.X), row, &n);
      WriteConsoleW(out, L"\r\n", 2, &n, nullptr);
    }
    std::wstring text = Wide(prompt);
    WriteConsoleW(out, text.c_str(), static_cast<DWORD>(text.size()), &n, nullptr);
    SetConsoleMode(in, mode & ~static_cast<DWORD>(ENABLE_PROCESSED_INPUT));  // Ctrl+C is a key here
    INPUT_RECORD record;
    while (ReadConsoleInputW(in, &record, 1, &n) && n == 1) {
      const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
      if (record.EventType == KEY_EVENT && key.bKeyDown && !IsModifier(key.wVirtualKeyCode)) break;
    }
    SetConsoleMode(in, mode);
  }
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
}

}  // namespace platform
