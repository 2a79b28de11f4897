// A private place for one test's settings, so no test touches the real
// user's: a fresh temporary folder for files, and the registry redirected.
// POSIX: XDG_CONFIG_HOME and TORMEX_MACHINE_REGISTRY point into the folder.
// Win32: HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE are overridden for the
// process by two test keys under HKEY_CURRENT_USER\Software\TormexTests,
// deleted afterwards. The console's settings state starts and ends empty.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "console/console.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

class SettingsSandbox : public ::testing::Test {
 protected:
  void SetUp() override {
    static int serial = 0;
    folder_ = std::filesystem::temp_directory_path() /
              ("tormex-settings-" + std::to_string(Pid()) + "-" + std::to_string(++serial));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    RedirectRegistry();
    console::Settings() = {};
  }

  void TearDown() override {
    console::Settings() = {};
    RestoreRegistry();
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
  }

  // A file in the test's folder, as a native path.
  std::string Path(const std::string& name) const { return (folder_ / name).string(); }
  const std::filesystem::path& Folder() const { return folder_; }

 private:
#ifdef _WIN32
  static int Pid() { return static_cast<int>(GetCurrentProcessId()); }
  std::string TestRoot() const { return "Software\\TormexTests\\" + std::to_string(Pid()); }

  HKEY Create(const std::string& path) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    return key;
  }

  void RedirectRegistry() {
    user_ = Create(TestRoot() + "\\user");
    machine_ = Create(TestRoot() + "\\machine");
    ASSERT_TRUE(user_ && machine_);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, user_), ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_), ERROR_SUCCESS);
  }

  void RestoreRegistry() {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    if (user_) RegCloseKey(user_);
    if (machine_) RegCloseKey(machine_);
    RegDeleteTreeA(HKEY_CURRENT_USER, TestRoot().c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\TormexTests");  // only when empty
  }

  HKEY user_ = nullptr, machine_ = nullptr;
#else
  static int Pid() { return static_cast<int>(getpid()); }

  static void Put(const char* name, const std::string& value, std::string& saved, bool& had) {
    const char* old = std::getenv(name);
    had = old != nullptr;
    saved = old ? old : "";
    setenv(name, value.c_str(), 1);
  }

  void RedirectRegistry() {
    Put("XDG_CONFIG_HOME", (folder_ / "config").string(), savedConfig_, hadConfig_);
    Put("TORMEX_MACHINE_REGISTRY", (folder_ / "machine").string(), savedMachine_, hadMachine_);
  }

  static void Restore(const char* name, const std::string& saved, bool had) {
    if (had) setenv(name, saved.c_str(), 1);
    else unsetenv(name);
  }

  void RestoreRegistry() {
    Restore("XDG_CONFIG_HOME", savedConfig_, hadConfig_);
    Restore("TORMEX_MACHINE_REGISTRY", savedMachine_, hadMachine_);
  }

  std::string savedConfig_, savedMachine_;
  bool hadConfig_ = false, hadMachine_ = false;
#endif

  std::filesystem::path folder_;
};
