// The console's font and window on Win32. The font functions and the
// window functions that older systems lack are looked up at run time by
// name, so the program still starts where they are missing.
#include <windows.h>

#include <algorithm>

#include "platform/codepage.h"
#include "platform/console_font.h"
#include "platform/sysinfo.h"
#include "platform/win32/console_handle.h"

namespace platform {
namespace {

static_assert(sizeof(CONSOLE_FONT_INFOEX) == 84, "the console's font record is 84 bytes");

constexpr DWORD kQuickEditMode = 0x0040;

using GetConsoleWindowFn = HWND(WINAPI*)();
using ConsoleFontExFn = BOOL(WINAPI*)(HANDLE, BOOL, CONSOLE_FONT_INFOEX*);
using GetConsoleOriginalTitleAFn = DWORD(WINAPI*)(LPSTR, DWORD);
using SetConsoleTitleAFn = BOOL(WINAPI*)(LPCSTR);
using GetWindowRectFn = BOOL(WINAPI*)(HWND, RECT*);
using SystemParametersInfoAFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT);

template <typename Fn>
bool Lookup(HMODULE module, const char* name, Fn& fn) {
  fn = module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)))
              : nullptr;
  return fn != nullptr;
}

ConsoleRect FromRect(const RECT& r) {
  return {static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right),
          static_cast<int>(r.bottom)};
}

class NativeFontControl : public ConsoleFontControl {
 public:
  ~NativeFontControl() override { Unload(); }

  bool Load() override;
  void Unload() override;
  bool SetFont(const std::string& face, int height) override;
  bool CurrentFont(std::string& face, int& height) override;
  ConsoleSize LargestWindow() override;
  ConsoleSize BufferSize() override;
  bool SetWindowRect(const ConsoleRect& cells) override;
  bool SetBufferSize(int columns, int rows) override;
  std::string OriginalTitle() override;
  bool SetTitle(const std::string& title) override { return setTitle_(title.c_str()); }
  bool WindowRect(ConsoleRect& pixels) override;
  bool WorkArea(ConsoleRect& pixels) override;
  bool MoveWindow(int x, int y, int width, int height) override {
    return ::MoveWindow(getConsoleWindow_(), x, y, width, height, TRUE);
  }
  void QuickEditOff() override;
  void Remember() override;
  void Restore() override;

 private:
  bool ConsoleTakesFonts();

  HMODULE kernel32_ = nullptr, user32_ = nullptr;
  GetConsoleWindowFn getConsoleWindow_ = nullptr;
  ConsoleFontExFn setFont_ = nullptr, getFont_ = nullptr;
  GetConsoleOriginalTitleAFn getOriginalTitle_ = nullptr;
  SetConsoleTitleAFn setTitle_ = nullptr;
  GetWindowRectFn getWindowRect_ = nullptr;
  SystemParametersInfoAFn systemParametersInfo_ = nullptr;
  win32::ConsoleHandle out_, in_;
  // What Restore puts back.
  bool remembered_ = false, fontRemembered_ = false, bufferRemembered_ = false;
  CONSOLE_FONT_INFOEX font_{};
  DWORD inputMode_ = 0, outputMode_ = 0;
  CONSOLE_SCREEN_BUFFER_INFO buffer_{};
};

bool NativeFontControl::Load() {
  Unload();
  if (OsMajorVersion() < 6) return false;
  kernel32_ = LoadLibraryA("kernel32.dll");
  user32_ = LoadLibraryA("user32.dll");
  bool found = Lookup(kernel32_, "GetConsoleWindow", getConsoleWindow_);
  found = Lookup(kernel32_, "SetCurrentConsoleFontEx", setFont_) && found;
  found = Lookup(kernel32_, "GetCurrentConsoleFontEx", getFont_) && found;
  found = Lookup(kernel32_, "GetConsoleOriginalTitleA", getOriginalTitle_) && found;
  found = Lookup(kernel32_, "SetConsoleTitleA", setTitle_) && found;
  found = Lookup(user32_, "GetWindowRect", getWindowRect_) && found;
  found = Lookup(user32_, "SystemParametersInfoA", systemParametersInfo_) && found;
  if (!found) {
    Unload();
    return false;
  }
  out_.OpenOutput();
  in_.OpenInput();
  if (!ConsoleTakesFonts()) {
    Unload();
    return false;
  }
  return true;
}

// A console that draws its own window has a window handle and reports the
// font it draws with (a face and a height). A console drawn on a character
// terminal (Wine's terminal console, a console without a window) lacks one
// or the other, and setting a font there can bring its host down.
bool NativeFontControl::ConsoleTakesFonts() {
  if (getConsoleWindow_() == nullptr) return false;
  CONSOLE_FONT_INFOEX info{};
  info.cbSize = sizeof info;
  return getFont_(out_.Handle, FALSE, &info) && info.FaceName[0] != 0 && info.dwFontSize.Y > 0;
}

void NativeFontControl::Unload() {
  if (kernel32_) FreeLibrary(kernel32_);
  if (user32_) FreeLibrary(user32_);
  kernel32_ = user32_ = nullptr;
  getConsoleWindow_ = nullptr;
  setFont_ = getFont_ = nullptr;
  getOriginalTitle_ = nullptr;
  setTitle_ = nullptr;
  getWindowRect_ = nullptr;
  systemParametersInfo_ = nullptr;
  out_.Close();
  in_.Close();
}

bool NativeFontControl::SetFont(const std::string& face, int height) {
  CONSOLE_FONT_INFOEX info{};
  info.cbSize = sizeof info;
  info.FontWeight = 400;
  info.dwFontSize = {0, static_cast<SHORT>(height)};
  std::size_t n = std::min<std::size_t>(face.size(), 31);
  for (std::size_t i = 0; i < n; ++i)
    info.FaceName[i] = static_cast<WCHAR>(Cp852ToUnicode(static_cast<std::uint8_t>(face[i])));
  return setFont_(out_.Handle, FALSE, &info);
}

bool NativeFontControl::CurrentFont(std::string& face, int& height) {
  CONSOLE_FONT_INFOEX info{};
  info.cbSize = sizeof info;
  if (!getFont_(out_.Handle, FALSE, &info)) return false;
  face.clear();
  for (int i = 0; i < LF_FACESIZE && info.FaceName[i]; ++i) {
    int c = UnicodeToCp852(info.FaceName[i]);
    if (c >= 0) face += static_cast<char>(c);
  }
  height = info.dwFontSize.Y;
  return true;
}

ConsoleSize NativeFontControl::LargestWindow() {
  COORD c = GetLargestConsoleWindowSize(out_.Handle);
  return {c.X, c.Y};
}

ConsoleSize NativeFontControl::BufferSize() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(out_.Handle, &info)) return {};
  return {info.dwSize.X, info.dwSize.Y};
}

bool NativeFontControl::SetWindowRect(const ConsoleRect& cells) {
  SMALL_RECT r{static_cast<SHORT>(cells.Left), static_cast<SHORT>(cells.Top),
               static_cast<SHORT>(cells.Right), static_cast<SHORT>(cells.Bottom)};
  return SetConsoleWindowInfo(out_.Handle, TRUE, &r);
}

bool NativeFontControl::SetBufferSize(int columns, int rows) {
  return SetConsoleScreenBufferSize(out_.Handle,
                                    COORD{static_cast<SHORT>(columns), static_cast<SHORT>(rows)});
}

std::string NativeFontControl::OriginalTitle() {
  char title[1024] = {};
  if (getOriginalTitle_(title, sizeof title) == 0) return {};
  title[sizeof title - 1] = '\0';
  return title;
}

bool NativeFontControl::WindowRect(ConsoleRect& pixels) {
  RECT r{};
  if (!getWindowRect_(getConsoleWindow_(), &r)) return false;
  pixels = FromRect(r);
  return true;
}

bool NativeFontControl::WorkArea(ConsoleRect& pixels) {
  RECT r{};
  if (!systemParametersInfo_(SPI_GETWORKAREA, 0, &r, 0)) return false;
  pixels = FromRect(r);
  return true;
}

void NativeFontControl::QuickEditOff() {
  DWORD mode = 0;
  if (GetConsoleMode(in_.Handle, &mode))
    SetConsoleMode(in_.Handle, (mode & ~kQuickEditMode) | ENABLE_EXTENDED_FLAGS);
}

void NativeFontControl::Remember() {
  font_ = {};
  font_.cbSize = sizeof font_;
  fontRemembered_ = getFont_(out_.Handle, FALSE, &font_);
  GetConsoleMode(in_.Handle, &inputMode_);
  GetConsoleMode(out_.Handle, &outputMode_);
  bufferRemembered_ = GetConsoleScreenBufferInfo(out_.Handle, &buffer_);
  remembered_ = true;
}

// The font first (it decides how large a window can be), then the window
// shrunk to fit both buffers, the buffer, and the window as it was.
void NativeFontControl::Restore() {
  if (!remembered_) return;
  remembered_ = false;
  if (fontRemembered_ && setFont_) setFont_(out_.Handle, FALSE, &font_);
  SetConsoleMode(in_.Handle, inputMode_);
  SetConsoleMode(out_.Handle, outputMode_);
  if (!bufferRemembered_) return;
  CONSOLE_SCREEN_BUFFER_INFO now{};
  if (GetConsoleScreenBufferInfo(out_.Handle, &now)) {
    SHORT width = std::min<SHORT>(now.srWindow.Right - now.srWindow.Left + 1, buffer_.dwSize.X);
    SHORT height = std::min<SHORT>(now.srWindow.Bottom - now.srWindow.Top + 1, buffer_.dwSize.Y);
    SMALL_RECT fits{0, 0, static_cast<SHORT>(width - 1), static_cast<SHORT>(height - 1)};
    SetConsoleWindowInfo(out_.Handle, TRUE, &fits);
  }
  SetConsoleScreenBufferSize(out_.Handle, buffer_.dwSize);
  SetConsoleWindowInfo(out_.Handle, TRUE, &buffer_.srWindow);
}

}  // namespace

std::unique_ptr<ConsoleFontControl> MakeNativeFontControl() {
  return std::make_unique<NativeFontControl>();
}

}  // namespace platform
