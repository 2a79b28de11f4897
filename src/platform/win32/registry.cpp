// The registry through advapi32.
#include <windows.h>

#include <cstring>

#include "platform/registry.h"

namespace platform {
namespace {

HKEY Root(Hive hive) { return hive == Hive::kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE; }

// The path without separators at either end, as the registry functions take it.
std::string SubKey(std::string_view path) {
  std::size_t first = path.find_first_not_of('\\');
  if (first == std::string_view::npos) return {};
  std::size_t last = path.find_last_not_of('\\');
  return std::string(path.substr(first, last - first + 1));
}

// Reads a value of the given type; nullopt when missing or of another type.
std::optional<std::string> ReadRaw(HKEY key, std::string_view name, DWORD wanted) {
  std::string n(name);
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key, n.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      type != wanted)
    return std::nullopt;
  std::string data(size, '\0');
  if (RegQueryValueExA(key, n.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                       &size) != ERROR_SUCCESS ||
      type != wanted)
    return std::nullopt;
  data.resize(size);
  return data;
}

}  // namespace

struct RegistryKey::Impl {
  HKEY Key = nullptr;
  ~Impl() {
    if (Key) RegCloseKey(Key);
  }
};

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;
RegistryKey::RegistryKey(RegistryKey&&) noexcept = default;
RegistryKey& RegistryKey::operator=(RegistryKey&&) noexcept = default;

bool RegistryKey::Open(Hive hive, std::string_view path, bool create) {
  Close();
  std::string sub = SubKey(path);
  HKEY key = nullptr;
  LONG rc;
  if (create) {
    rc = RegCreateKeyExA(Root(hive), sub.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                         &key, nullptr);
  } else {
    rc = RegOpenKeyExA(Root(hive), sub.c_str(), 0, KEY_READ | KEY_WRITE, &key);
    if (rc == ERROR_ACCESS_DENIED) rc = RegOpenKeyExA(Root(hive), sub.c_str(), 0, KEY_READ, &key);
  }
  if (rc != ERROR_SUCCESS) return false;
  impl_ = std::make_unique<Impl>();
  impl_->Key = key;
  return true;
}

void RegistryKey::Close() { impl_.reset(); }
bool RegistryKey::IsOpen() const { return impl_ != nullptr; }

std::optional<std::string> RegistryKey::ReadString(std::string_view name) const {
  if (!impl_) return std::nullopt;
  std::optional<std::string> data = ReadRaw(impl_->Key, name, REG_SZ);
  if (!data) data = ReadRaw(impl_->Key, name, REG_EXPAND_SZ);
  if (data) data->resize(data->find('\0') == std::string::npos ? data->size() : data->find('\0'));
  return data;
}

std::optional<std::uint32_t> RegistryKey::ReadDword(std::string_view name) const {
  if (!impl_) return std::nullopt;
  std::optional<std::string> data = ReadRaw(impl_->Key, name, REG_DWORD);
  if (!data || data->size() != 4) return std::nullopt;
  DWORD value = 0;  // the system's own byte order, as WriteDword stores it
  std::memcpy(&value, data->data(), sizeof value);
  return value;
}

bool RegistryKey::WriteString(std::string_view name, std::string_view value) {
  if (!impl_) return false;
  std::string n(name), v(value);
  return RegSetValueExA(impl_->Key, n.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                        static_cast<DWORD>(v.size() + 1)) == ERROR_SUCCESS;
}

bool RegistryKey::WriteDword(std::string_view name, std::uint32_t value) {
  if (!impl_) return false;
  std::string n(name);
  DWORD v = value;
  return RegSetValueExA(impl_->Key, n.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v),
                        sizeof v) == ERROR_SUCCESS;
}

bool DeleteRegistryKey(Hive hive, std::string_view path) {
  std::string sub = SubKey(path);
  if (sub.empty()) return false;  // never a hive
  LONG rc = RegDeleteTreeA(Root(hive), sub.c_str());
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return false;
  rc = RegDeleteKeyA(Root(hive), sub.c_str());
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

}  // namespace platform
