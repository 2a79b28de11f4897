// The registry (the POSIX file store, or the real registry under Wine) and
// the console's values in it: font, setup path, help allow list.
#include <fstream>
#include <iterator>

#include "platform/registry.h"
#include "settings_sandbox.h"

namespace {

using platform::Hive;
using platform::RegistryKey;

constexpr const char* kConsoleKey = "\\Software\\Tormex\\Console\\";
constexpr const char* kHelpKey = "\\SOFTWARE\\Microsoft\\HTMLHelp\\1.x\\HHRestrictions";
constexpr const char* kItssKey = "\\SOFTWARE\\Microsoft\\HTMLHelp\\1.x\\ItssRestrictions";

class RegistryTest : public SettingsSandbox {
 protected:
  static bool KeyExists(Hive hive, const char* path) { return RegistryKey().Open(hive, path, false); }

  static RegistryKey Key(Hive hive, const char* path) {
    RegistryKey key;
    EXPECT_TRUE(key.Open(hive, path, true)) << path;
    return key;
  }
  static std::string String(Hive hive, const char* path, const char* name) {
    RegistryKey key;
    if (!key.Open(hive, path, false)) return "<no key>";
    return key.ReadString(name).value_or("<none>");
  }
  static std::int64_t Dword(Hive hive, const char* path, const char* name) {
    RegistryKey key;
    if (!key.Open(hive, path, false)) return -2;
    auto value = key.ReadDword(name);
    return value ? static_cast<std::int64_t>(*value) : -1;
  }
};

TEST_F(RegistryTest, KeysAndValuesRoundTripWithoutRegardToCase) {
  RegistryKey key;
  EXPECT_FALSE(key.Open(Hive::kCurrentUser, "\\Software\\Proba\\Kulcs\\", false));
  EXPECT_FALSE(key.IsOpen());
  EXPECT_FALSE(KeyExists(Hive::kCurrentUser, "Software\\Proba"));  // not created by the look

  ASSERT_TRUE(key.Open(Hive::kCurrentUser, "\\Software\\Proba\\Kulcs\\", true));
  const std::string odd = "a=b%c\r\nd;e";
  EXPECT_TRUE(key.WriteString("Szoveg", odd));
  EXPECT_TRUE(key.WriteString("Ures", ""));
  EXPECT_TRUE(key.WriteDword("Szam=1", 0xFFFF0000u));
  key.Close();

  ASSERT_TRUE(key.Open(Hive::kCurrentUser, "software\\PROBA\\kulcs", false));
  EXPECT_EQ(key.ReadString("SZOVEG"), odd);
  EXPECT_EQ(key.ReadString("Ures"), "");
  EXPECT_EQ(key.ReadDword("szam=1"), 0xFFFF0000u);
  EXPECT_EQ(key.ReadString("Hianyzo"), std::nullopt);
  EXPECT_EQ(key.ReadDword("Szoveg"), std::nullopt);  // another type
  EXPECT_EQ(key.ReadString("Szam=1"), std::nullopt);

  EXPECT_TRUE(key.WriteDword("Szoveg", 7));  // a value changes its type
  EXPECT_EQ(key.ReadDword("Szoveg"), 7u);
  EXPECT_EQ(key.ReadString("Szoveg"), std::nullopt);
  key.Close();

  EXPECT_TRUE(platform::DeleteRegistryKey(Hive::kCurrentUser, "\\Software\\Proba"));
  EXPECT_FALSE(KeyExists(Hive::kCurrentUser, "\\Software\\Proba\\Kulcs"));
  EXPECT_TRUE(platform::DeleteRegistryKey(Hive::kCurrentUser, "\\Software\\Proba"));
  EXPECT_FALSE(platform::DeleteRegistryKey(Hive::kCurrentUser, "\\"));
}

TEST_F(RegistryTest, HivesAreSeparate) {
  Key(Hive::kLocalMachine, "\\SOFTWARE\\Proba").WriteString("Hely", "gep");
  EXPECT_FALSE(KeyExists(Hive::kCurrentUser, "\\SOFTWARE\\Proba"));
  EXPECT_EQ(String(Hive::kLocalMachine, "Software\\proba", "hely"), "gep");
}

#ifndef _WIN32
std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(RegistryTest, PosixStoreIsOneFilePerKeyUnderTheConfigFolders) {
  console::SetUserName("MINTA");
  ASSERT_TRUE(console::WriteConsoleFont(20, "Consolas"));
  EXPECT_EQ(FileText(Folder() / "config/tormex/registry/HKEY_CURRENT_USER/software/tormex/console/.values"),
            "MINTA_FontSize21=dword:1310720\nMINTA_FaceName=sz:Consolas\n");

  Key(Hive::kLocalMachine, kHelpKey).WriteString("UrlAllowList", "x;y");
  EXPECT_EQ(FileText(Folder() / "machine/software/microsoft/htmlhelp/1.x/hhrestrictions/.values"),
            "UrlAllowList=sz:x;y\n");

  // Without its own variable the machine's hive lives beside the user's.
  unsetenv("TORMEX_MACHINE_REGISTRY");
  Key(Hive::kLocalMachine, "\\Software\\Gep").WriteDword("N", 1);
  EXPECT_TRUE(std::filesystem::exists(Folder() / "config/tormex/registry/HKEY_LOCAL_MACHINE/software/gep/.values"));
}
#endif

TEST_F(RegistryTest, FontValuesCarryTheUserNamePrefix) {
  console::SetUserName("MINTA");
  ASSERT_TRUE(console::WriteConsoleFont(20, "Consolas"));
  EXPECT_EQ(Dword(Hive::kCurrentUser, kConsoleKey, "MINTA_FontSize21"), 20 << 16);
  EXPECT_EQ(String(Hive::kCurrentUser, kConsoleKey, "MINTA_FaceName"), "Consolas");
  std::string face;
  EXPECT_EQ(console::ReadConsoleFont(face), 20);
  EXPECT_EQ(face, "Consolas");

  console::SetUserName("");  // no prefix: the user's values are not seen
  EXPECT_EQ(console::ReadConsoleFont(face), 0);
  EXPECT_EQ(face, "");
  ASSERT_TRUE(console::WriteConsoleFont(16, ""));  // an empty face is not written
  EXPECT_EQ(Dword(Hive::kCurrentUser, kConsoleKey, "FontSize21"), 16 << 16);
  EXPECT_EQ(String(Hive::kCurrentUser, kConsoleKey, "FaceName"), "<none>");
  EXPECT_EQ(console::ReadConsoleFont(face), 16);
}

TEST_F(RegistryTest, ReadingTheFontNeverCreatesTheKey) {
  std::string face = "x";
  EXPECT_EQ(console::ReadConsoleFont(face), 0);
  EXPECT_EQ(face, "");
  EXPECT_FALSE(KeyExists(Hive::kCurrentUser, kConsoleKey));
}

TEST_F(RegistryTest, ConsoleStoreMirrorsTheRegistry) {
  console::OpenStore(console::kConsoleStore);
  auto lines = [] {
    std::string all;
    for (const auto& line : console::Settings().Stores[3].Lines) all += line.Text + "|";
    return all;
  };
  EXPECT_EQ(lines(), "*cmdwindow|font=Lucida Console|fontsize=0|");
  console::CloseStore(console::kConsoleStore);

  console::WriteConsoleFont(18, "Consolas");
  console::OpenStore(console::kConsoleStore);
  EXPECT_EQ(lines(), "*cmdwindow|font=Consolas|fontsize=18|");
}

TEST_F(RegistryTest, SavingStoreFourWritesTheFontInUse) {
  console::OpenStore(console::kConsoleStore);
  console::Settings().Font.Face = "Consolas";
  console::Settings().Font.Height = 22;
  ASSERT_TRUE(console::SaveStore(console::kConsoleStore));
  EXPECT_EQ(Dword(Hive::kCurrentUser, kConsoleKey, "FontSize21"), 22 << 16);
  EXPECT_EQ(String(Hive::kCurrentUser, kConsoleKey, "FaceName"), "Consolas");
  std::string value;
  console::ReadSetting(console::kConsoleStore, "cmdwindow", "fontsize", value);
  EXPECT_EQ(value, "22");

  // Height 0 keeps the smallest usable height.
  console::Settings().Font.Height = 0;
  ASSERT_TRUE(console::SaveStore(console::kConsoleStore));
  EXPECT_EQ(Dword(Hive::kCurrentUser, kConsoleKey, "FontSize21"), 14 << 16);

  // Store 4 not loaded: nothing is written.
  console::CloseStore(console::kConsoleStore);
  console::Settings().Font.Height = 30;
  EXPECT_FALSE(console::SaveStore(console::kConsoleStore));
  EXPECT_EQ(Dword(Hive::kCurrentUser, kConsoleKey, "FontSize21"), 14 << 16);
}

TEST_F(RegistryTest, SystemConsoleFontHeightIsTheHighWord) {
  EXPECT_EQ(console::SystemConsoleFontHeight(), 0);
  Key(Hive::kCurrentUser, "\\Console\\").WriteDword("FontSize", 0x00100008);
  EXPECT_EQ(console::SystemConsoleFontHeight(), 16);
}

TEST_F(RegistryTest, SetupPathListGrowsWithoutDuplicates) {
  EXPECT_EQ(console::GetSetupPath("\\Szamla"), "");
  EXPECT_TRUE(console::AddSetupPath("\\Szamla", "C:\\SZLA"));  // creates the key
  EXPECT_EQ(console::GetSetupPath("Szamla"), "C:\\SZLA");
  EXPECT_TRUE(console::AddSetupPath("Szamla", "D:\\SZLA"));
  EXPECT_TRUE(console::AddSetupPath("Szamla", "C:\\SZLA"));  // already there
  EXPECT_TRUE(console::AddSetupPath("Szamla", "c:\\szla"));  // fields compare exactly
  EXPECT_EQ(String(Hive::kCurrentUser, "\\Software\\Szamla\\", "SetupPath"),
            "C:\\SZLA;D:\\SZLA;c:\\szla");

  Key(Hive::kCurrentUser, "\\Software\\Masik");  // a key without the value
  EXPECT_TRUE(console::AddSetupPath("Masik", "E:\\X"));
  EXPECT_EQ(console::GetSetupPath("Masik"), "E:\\X");  // no leading ";"
}

TEST_F(RegistryTest, AllowHelpPathPutsThePathInFrontOfBothLists) {
  // Keys that do not exist are not created.
  EXPECT_FALSE(console::AllowHelpPath("\\\\SZERVER\\SZLA"));
  EXPECT_FALSE(KeyExists(Hive::kLocalMachine, kHelpKey));

  Key(Hive::kLocalMachine, kHelpKey);
  Key(Hive::kLocalMachine, kItssKey).WriteString("UrlAllowList", "\\\\REGI\\X;file://;");
  EXPECT_TRUE(console::AllowHelpPath("\\\\SZERVER\\SZLA"));
  EXPECT_EQ(String(Hive::kLocalMachine, kHelpKey, "UrlAllowList"), "\\\\SZERVER\\SZLA;file://;");
  EXPECT_EQ(String(Hive::kLocalMachine, kItssKey, "UrlAllowList"),
            "\\\\SZERVER\\SZLA;\\\\REGI\\X;file://;");

  // Already in the list: unchanged.
  EXPECT_TRUE(console::AllowHelpPath("\\\\REGI\\X"));
  EXPECT_EQ(String(Hive::kLocalMachine, kItssKey, "UrlAllowList"),
            "\\\\SZERVER\\SZLA;\\\\REGI\\X;file://;");
  EXPECT_EQ(String(Hive::kLocalMachine, kHelpKey, "UrlAllowList"),
            "\\\\REGI\\X;\\\\SZERVER\\SZLA;file://;");

  // A path on drive C: needs no permission.
  EXPECT_TRUE(console::AllowHelpPath("C:\\SZLA"));
  EXPECT_TRUE(console::AllowHelpPath("\\\\gep\\c:\\x"));
  EXPECT_EQ(String(Hive::kLocalMachine, kHelpKey, "UrlAllowList"),
            "\\\\REGI\\X;\\\\SZERVER\\SZLA;file://;");
}

}  // namespace
