// The registry: keys under the current user's and the machine's hive, holding
// string and 32-bit values.
//
// Key paths are "\"-separated ("\Software\Tormex\Console\"); separators at
// either end are ignored, and letter case does not matter in key paths or
// value names, as on Windows (the POSIX store folds ASCII letters only).
// Names and values are bytes, stored as they are (Win32 hands them to the
// registry's ANSI functions, which give the same bytes back).
//
// Win32 uses the real registry. POSIX keeps a small file store per hive:
//   HKEY_CURRENT_USER   $XDG_CONFIG_HOME/tormex/registry/HKEY_CURRENT_USER
//                       ($XDG_CONFIG_HOME defaults to ~/.config)
//   HKEY_LOCAL_MACHINE  $TORMEX_MACHINE_REGISTRY, by default
//                       $XDG_CONFIG_HOME/tormex/registry/HKEY_LOCAL_MACHINE
// A key is a folder (each path part lower-cased; bytes other than letters,
// digits, "_", "-", blank, and "." after the first byte written as %XX); its
// values are in the file ".values" in that folder, one per line:
//   name=sz:text        a string
//   name=dword:12345    a 32-bit value in decimal
// where "%", "=" (in names), line breaks and other control bytes are written
// as %XX. The file is rewritten whole through a temporary file and a rename,
// so a reader sees either the old or the new values.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum class Hive { kCurrentUser, kLocalMachine };

// An open key; closed when destroyed.
class RegistryKey {
 public:
  RegistryKey();
  ~RegistryKey();
  RegistryKey(RegistryKey&&) noexcept;
  RegistryKey& operator=(RegistryKey&&) noexcept;

  // Opens the key (closing any key open before). With create, a missing key
  // and its missing parents are made; without it, a missing key is not
  // opened. False when the key is not open afterwards.
  bool Open(Hive hive, std::string_view path, bool create);
  void Close();
  bool IsOpen() const;

  // A value; nullopt when the value is missing, of another type, or the key
  // is not open.
  std::optional<std::string> ReadString(std::string_view name) const;
  std::optional<std::uint32_t> ReadDword(std::string_view name) const;
  // Sets a value (replacing one of either type); false when it failed.
  bool WriteString(std::string_view name, std::string_view value);
  bool WriteDword(std::string_view name, std::uint32_t value);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Removes a key with its values and subkeys; true when it is gone (a key
// that did not exist counts). An empty path (the hive itself) is refused.
bool DeleteRegistryKey(Hive hive, std::string_view path);

}  // namespace platform
