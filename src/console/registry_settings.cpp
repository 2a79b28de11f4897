// Registry values: the console font, the suite's setup path and the help
// files' allow list.
#include <string>

#include "console/internal.h"
#include "platform/registry.h"
#include "text/text.h"

namespace console {
namespace {

using platform::Hive;
using platform::RegistryKey;

constexpr std::string_view kConsoleKey = "\\Software\\Tormex\\Console\\";
constexpr std::string_view kSystemConsoleKey = "\\Console\\";
constexpr std::string_view kHelpKeys[] = {
    "\\SOFTWARE\\Microsoft\\HTMLHelp\\1.x\\HHRestrictions",
    "\\SOFTWARE\\Microsoft\\HTMLHelp\\1.x\\ItssRestrictions",
};

std::string Prefix() { return UserName().empty() ? std::string() : UserName() + "_"; }

std::string SetupKey(std::string_view product) {
  if (!product.empty() && product[0] == '\\') product.remove_prefix(1);
  return "\\Software\\" + std::string(product) + "\\";
}

// True when one ";"-separated field of list equals path exactly.
bool InList(std::string_view list, std::string_view path) {
  std::size_t start = 0;
  for (;;) {
    std::size_t end = list.find(';', start);
    if (list.substr(start, end == std::string_view::npos ? end : end - start) == path) return true;
    if (end == std::string_view::npos) return false;
    start = end + 1;
  }
}

// Puts path in front of the allow list of one help key (never created here).
bool AllowIn(std::string_view keyPath, std::string_view path) {
  RegistryKey key;
  if (!key.Open(Hive::kLocalMachine, keyPath, false)) return false;
  std::string list = key.ReadString("UrlAllowList").value_or("");
  if (InList(list, path)) return true;
  list = list.empty() ? std::string(path) + ";file://;" : std::string(path) + ";" + list;
  return key.WriteString("UrlAllowList", list);
}

}  // namespace

int ReadConsoleFont(std::string& face) {
  face.clear();
  RegistryKey key;
  if (!key.Open(Hive::kCurrentUser, kConsoleKey, false)) return 0;
  face = text::Short(key.ReadString(Prefix() + "FaceName").value_or(""));
  std::uint32_t size = key.ReadDword(Prefix() + "FontSize21").value_or(0);
  return static_cast<std::int16_t>(size >> 16);
}

bool WriteConsoleFont(int height, std::string_view face) {
  RegistryKey key;
  if (!key.Open(Hive::kCurrentUser, kConsoleKey, true)) return false;
  bool written = key.WriteDword(Prefix() + "FontSize21", static_cast<std::uint32_t>(height & 0xFFFF) << 16);
  if (!face.empty()) written = key.WriteString(Prefix() + "FaceName", face) && written;
  return written;
}

bool SaveConsoleFont() {
  const FontState& font = Settings().Font;
  if (!StoreLoaded(kConsoleStore)) return false;
  WriteSetting(kConsoleStore, "cmdwindow", "font", font.Face);
  WriteSetting(kConsoleStore, "cmdwindow", "fontsize", std::to_string(font.Height));
  std::string face, size;
  if (ReadSetting(kConsoleStore, "cmdwindow", "font", face) < 0) face.clear();
  int height = 0;
  if (ReadSetting(kConsoleStore, "cmdwindow", "fontsize", size) >= 0)
    height = HeightFromText(size);
  if (height == 0) height = font.Smallest;
  return WriteConsoleFont(height, face);
}

int SystemConsoleFontHeight() {
  RegistryKey key;
  if (!key.Open(Hive::kCurrentUser, kSystemConsoleKey, false)) return 0;
  return static_cast<int>(key.ReadDword("FontSize").value_or(0) / 65536);
}

std::string GetSetupPath(std::string_view product) {
  RegistryKey key;
  if (!key.Open(Hive::kCurrentUser, SetupKey(product), false)) return {};
  return text::Short(key.ReadString("SetupPath").value_or(""));
}

bool AddSetupPath(std::string_view product, std::string_view path) {
  RegistryKey key;
  if (!key.Open(Hive::kCurrentUser, SetupKey(product), false)) {
    if (key.Open(Hive::kCurrentUser, SetupKey(product), true)) key.WriteString("SetupPath", path);
    return true;
  }
  std::string list = key.ReadString("SetupPath").value_or("");
  if (InList(list, path)) return true;
  list.append(";").append(path);
  if (list[0] == ';') list.erase(0, 1);
  key.WriteString("SetupPath", list);
  return true;
}

bool AllowHelpPath(std::string_view path) {
  if (path.find("c:") != std::string_view::npos || path.find("C:") != std::string_view::npos)
    return true;
  bool allowed = true;
  for (std::string_view keyPath : kHelpKeys) allowed = AllowIn(keyPath, path) && allowed;
  return allowed;
}

}  // namespace console
