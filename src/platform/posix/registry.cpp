// The registry as a file store per hive; the layout and file format are
// described in platform/registry.h.
#include "platform/registry.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/text_internal.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kValuesFile = ".values";

std::string ConfigHome() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return xdg;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.config";
}

fs::path HiveFolder(Hive hive) {
  fs::path stores = fs::path(ConfigHome()) / "tormex" / "registry";
  if (hive == Hive::kCurrentUser) return stores / "HKEY_CURRENT_USER";
  if (const char* machine = std::getenv("TORMEX_MACHINE_REGISTRY"); machine && *machine)
    return machine;
  return stores / "HKEY_LOCAL_MACHINE";
}

std::string Hex(unsigned char c) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "%%%02X", c);
  return buf;
}

// One path part as a folder name: lower-cased, unsafe bytes as %XX.
std::string FolderName(std::string_view part) {
  std::string out;
  for (std::size_t i = 0; i < part.size(); ++i) {
    auto c = static_cast<unsigned char>(part[i]);
    bool plain = std::isalnum(c) || c == '_' || c == '-' || c == ' ' || (c == '.' && i > 0);
    out += plain && c < 0x80 ? std::string(1, static_cast<char>(std::tolower(c))) : Hex(c);
  }
  return out;
}

fs::path KeyFolder(Hive hive, std::string_view path) {
  fs::path folder = HiveFolder(hive);
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) folder /= FolderName(path.substr(start, end - start));
    start = end + 1;
  }
  return folder;
}

// Escapes "%", control bytes, and "=" when inName.
std::string Escape(std::string_view s, bool inName) {
  std::string out;
  for (char ch : s) {
    auto c = static_cast<unsigned char>(ch);
    out += (c == '%' || c < 0x20 || c == 0x7F || (inName && c == '=')) ? Hex(c) : std::string(1, ch);
  }
  return out;
}

std::string Unescape(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

struct Value {
  std::string Name, Type, Data;  // type "sz" or "dword"; name and data unescaped
};

std::vector<Value> LoadValues(const fs::path& folder) {
  std::vector<Value> values;
  std::ifstream in(folder / kValuesFile, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    std::size_t eq = line.find('='), colon = line.find(':', eq);
    if (eq == std::string::npos || colon == std::string::npos) continue;
    values.push_back({Unescape(line.substr(0, eq)), line.substr(eq + 1, colon - eq - 1),
                      Unescape(line.substr(colon + 1))});
  }
  return values;
}

bool SaveValues(const fs::path& folder, const std::vector<Value>& values) {
  std::string text;
  for (const Value& v : values) text += Escape(v.Name, true) + "=" + v.Type + ":" + Escape(v.Data, false) + "\n";
  fs::path temp = folder / (std::string(kValuesFile) + ".tmp" + std::to_string(getpid()));
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) return false;
  }
  std::error_code ec;
  fs::rename(temp, folder / kValuesFile, ec);
  if (ec) fs::remove(temp, ec);
  return !ec;
}

}  // namespace

struct RegistryKey::Impl {
  fs::path Folder;

  std::optional<Value> Find(std::string_view name) const {
    for (Value& v : LoadValues(Folder))
      if (detail::SameIgnoringCase(v.Name, name)) return v;
    return std::nullopt;
  }

  bool Set(std::string_view name, std::string type, std::string data) {
    std::vector<Value> values = LoadValues(Folder);
    bool found = false;
    for (Value& v : values) {
      if (!detail::SameIgnoringCase(v.Name, name)) continue;
      v.Type = std::move(type);
      v.Data = std::move(data);
      found = true;
      break;
    }
    if (!found) values.push_back({std::string(name), std::move(type), std::move(data)});
    return SaveValues(Folder, values);
  }
};

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;

bool RegistryKey::Open(Hive hive, std::string_view path, bool create) {
  Close();
  fs::path folder = KeyFolder(hive, path);
  std::error_code ec;
  if (create) fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) return false;
  impl_ = std::make_unique<Impl>(Impl{folder});
  return true;
}

void RegistryKey::Close() { impl_.reset(); }
bool RegistryKey::IsOpen() const { return impl_ != nullptr; }

std::optional<std::string> RegistryKey::ReadString(std::string_view name) const {
  if (!impl_) return std::nullopt;
  std::optional<Value> v = impl_->Find(name);
  if (!v || v->Type != "sz") return std::nullopt;
  return v->Data;
}

std::optional<std::uint32_t> RegistryKey::ReadDword(std::string_view name) const {
  if (!impl_) return std::nullopt;
  std::optional<Value> v = impl_->Find(name);
  if (!v || v->Type != "dword") return std::nullopt;
  char* end = nullptr;
  unsigned long n = std::strtoul(v->Data.c_str(), &end, 10);
  if (v->Data.empty() || *end != '\0') return std::nullopt;
  return static_cast<std::uint32_t>(n);
}

bool RegistryKey::WriteString(std::string_view name, std::string_view value) {
  return impl_ && impl_->Set(name, "sz", std::string(value));
}

bool RegistryKey::WriteDword(std::string_view name, std::uint32_t value) {
  return impl_ && impl_->Set(name, "dword", std::to_string(value));
}

bool DeleteRegistryKey(Hive hive, std::string_view path) {
  if (path.find_first_not_of('\\') == std::string_view::npos) return false;  // never a hive
  std::error_code ec;
  fs::remove_all(KeyFolder(hive, path), ec);
  return !ec;
}

}  // namespace platform
