// The file and process layers of the platform beneath the utilities:
// wildcards and attribute masks of the folder search, copies that keep the
// time, the drive table and the private temporary folder, and how POSIX
// starts Windows-style programs.
#include <algorithm>

#include "files_fixture.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace attr = platform::attr;
using Names = std::vector<std::string>;

class PlatformFs : public FilesTest {
 protected:
  // The names a search finds, sorted (a system may list in any order).
  Names Search(const std::string& pattern, std::uint32_t mask) {
    Names names;
    platform::DirSearch search;
    platform::FoundEntry entry;
    for (int rc = search.First(pattern, mask, entry); rc == 0; rc = search.Next(entry))
      names.push_back(entry.Name);
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(PlatformFs, WildcardsMatchAsWindowsMatchesThem) {
  for (const char* name : {"a.txt", "ab.txt", "abc.txt", "B.TXT", "Verzio1", "v2.zip",
                           "uzenet.txt", "pszla.zip"})
    WriteFile(Work() / name, "x");
  EXPECT_EQ(Search("*.*", 0).size(), 8u);
  EXPECT_EQ(Search("*.txt", 0), (Names{"B.TXT", "a.txt", "ab.txt", "abc.txt", "uzenet.txt"}));
  if (UnderWine()) {  // Wine's "?" never matches nothing, as Windows' does before a "."
    EXPECT_EQ(Search("a?.txt", 0), Names{"ab.txt"});
  } else {
    EXPECT_EQ(Search("a?.txt", 0), (Names{"a.txt", "ab.txt"}));
  }
  EXPECT_EQ(Search("V*.*", 0), (Names{"Verzio1", "v2.zip"}));
  EXPECT_EQ(Search(Win(Work()) + "\\PSZLA.ZIP", 0), Names{"pszla.zip"});
  EXPECT_TRUE(platform::NameMatches("*.*", "nincs_pont"));
  EXPECT_FALSE(platform::NameMatches("a?.txt", "abc.txt"));
}

TEST_F(PlatformFs, AttributeMasksAddHiddenSystemAndFolderEntries) {
  WriteFile(Work() / "sima.txt", "12345");
  WriteFile(Work() / ".rejtett", "x");
  ASSERT_EQ(platform::SetAttributes(".rejtett", attr::kHidden), 0);  // POSIX: the dot hides it
  fs::create_directories(Work() / "mappa");
  EXPECT_EQ(Search("*.*", 0), Names{"sima.txt"});
  EXPECT_EQ(Search("*.*", attr::kSystem), Names{"sima.txt"});
  EXPECT_EQ(Search("*.*", attr::kHidden), (Names{".rejtett", "sima.txt"}));
  EXPECT_EQ(Search("*.*", attr::kDirectory), (Names{".", "..", "mappa", "sima.txt"}));
  EXPECT_EQ(Search("*.*", attr::kAnyFile).size(), 5u);

  platform::DirSearch search;
  platform::FoundEntry entry;
  ASSERT_EQ(search.First("sima.txt", 0, entry), 0);
  EXPECT_EQ(entry.Size, 5u);
  EXPECT_EQ(entry.Attributes & attr::kDirectory, 0u);
  EXPECT_EQ(search.Next(entry), 18);
  EXPECT_EQ(search.First("nincs.*", attr::kAnyFile, entry), 18);
  EXPECT_EQ(search.First("nincs\\*.*", attr::kAnyFile, entry), 3);
}

TEST_F(PlatformFs, CopyKeepsTheTimeAndTheReadOnlyAttribute) {
  WriteFile(Work() / "forras.bin", std::string(100000, 'q'));
  const std::uint64_t kTime = 132000000000000000ULL;  // 2019
  ASSERT_EQ(platform::SetWriteTime("forras.bin", kTime), 0);
  ASSERT_EQ(platform::SetAttributes("forras.bin", attr::kReadOnly), 0);
  ASSERT_EQ(platform::CopyFileTo("forras.bin", "cel.bin", false), 0);
  std::uint64_t time = 0;
  std::uint32_t attributes = 0;
  EXPECT_EQ(platform::GetWriteTime("cel.bin", time), 0);
  EXPECT_EQ(time, kTime);
  EXPECT_EQ(platform::GetAttributes("cel.bin", attributes), 0);
  EXPECT_TRUE(attributes & attr::kReadOnly);
  EXPECT_EQ(ReadFile(Work() / "cel.bin"), std::string(100000, 'q'));
  EXPECT_EQ(platform::CopyFileTo("forras.bin", "cel.bin", true), 80);
  if (!UnderWine()) {
    EXPECT_EQ(platform::CopyFileTo("forras.bin", "cel.bin", false), 5);
  }
}

#ifndef _WIN32
TEST_F(PlatformFs, PosixReportsFoldersThroughTheDriveTable) {
  std::string work = Work().string();
  EXPECT_EQ(platform::CurrentFolder(), platform::WindowsPath(work));
  EXPECT_EQ(platform::WindowsPath("/"), "C:\\");
  EXPECT_EQ(platform::WindowsPath("/home/x/"), "C:\\home\\x\\");
  SetEnv("TORMEX_DRIVE_D", work);
  EXPECT_EQ(platform::CurrentFolder(), "D:\\");
  EXPECT_EQ(platform::WindowsPath(work + "/sub"), "D:\\sub");
  EXPECT_TRUE(platform::LogicalDrives() & (1u << 3));
  EXPECT_EQ(platform::ResolvePath("d:\\SUB"), work + "/SUB");
  std::string label;
  EXPECT_TRUE(platform::VolumeLabel("D:\\", label));
  EXPECT_EQ(label, work);
  EXPECT_FALSE(platform::VolumeLabel("C:\\", label));  // the root has none
  SetEnv("TORMEX_DRIVE_D", "");
  EXPECT_FALSE(platform::LogicalDrives() & (1u << 3));
  EXPECT_EQ(platform::DriveType("D:\\"), platform::drive::kNoRoot);
}

TEST_F(PlatformFs, TheTempFolderIsPrivateToTheUser) {
  std::string base = Work().string();
  std::string folder = platform::PrivateTempFolder(base);
  std::string expected = base + "/tormex-" + std::to_string(geteuid()) + "/";
  EXPECT_EQ(folder, expected);
  struct stat st;
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  chmod(folder.c_str(), 0755);
  EXPECT_EQ(platform::PrivateTempFolder(base), expected);  // narrowed again
  stat(folder.c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  fs::remove(folder);  // a link planted by someone else is refused
  fs::create_directories(Work() / "mas");
  fs::create_directory_symlink(Work() / "mas", expected.substr(0, expected.size() - 1));
  EXPECT_EQ(platform::PrivateTempFolder(base), "");
  fs::remove(expected.substr(0, expected.size() - 1));

  const char* tmpdir = std::getenv("TMPDIR");
  std::string saved = tmpdir ? tmpdir : "";
  SetEnv("TMPDIR", base);
  EXPECT_EQ(platform::TempPath(), platform::WindowsPath(base) + "\\");
  SetEnv("TMPDIR", saved);
}

TEST_F(PlatformFs, ATempFolderOfAnotherUserIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a folder to another user";
  std::string base = Work().string();
  std::string folder = platform::PrivateTempFolder(base);
  ASSERT_FALSE(folder.empty());
  ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
  EXPECT_EQ(platform::PrivateTempFolder(base), "");
}

TEST_F(PlatformFs, PosixRunsWindowsProgramsWithoutTheirExecuteBit) {
  Install("prog.exe");
  fs::permissions(Work() / "prog.exe", fs::perms::owner_exec | fs::perms::group_exec |
                                           fs::perms::others_exec, fs::perm_options::remove);
  std::uint32_t code = 0;
  EXPECT_EQ(platform::StartAndWait("PROG.EXE", "exit=4", code), 0);  // any letter case
  EXPECT_EQ(code, 4u);
  Ran();
  EXPECT_TRUE((fs::status(Work() / "prog.exe").permissions() & fs::perms::owner_exec) !=
              fs::perms::none);
  // Another name is no Windows program: it keeps its bits and is refused.
  Install("prog.bin");
  fs::permissions(Work() / "prog.bin", fs::perms::owner_exec | fs::perms::group_exec |
                                           fs::perms::others_exec, fs::perm_options::remove);
  EXPECT_EQ(platform::StartAndWait("prog.bin", "", code), 5);
  // A batch file without "#!" runs through the shell; as on Windows, its
  // name needs its extension.
  WriteFile(Work() / "job.bat", "echo bat>>ran.txt\nexit 9\n");
  EXPECT_EQ(platform::StartAndWait("job", "", code), 2);
  EXPECT_EQ(platform::StartAndWait("job.bat", "", code), 0);
  EXPECT_EQ(code, 9u);
  EXPECT_EQ(Ran(), std::vector<std::vector<std::string>>{{"bat"}});
  WriteFile(Work() / "kill.bat", "kill -TERM $$\n");
  EXPECT_EQ(platform::StartAndWait("kill.bat", "", code), 0);
  EXPECT_EQ(code, 128u + 15u);
}

TEST_F(PlatformFs, PosixInterpreterIsTheShellFindingTheCurrentFolderFirst) {
  Install("prog.exe");
  std::uint32_t code = 0;
  EXPECT_EQ(platform::RunCommand("\"PROG.exe\" a  'b c'", code), 0);
  auto ran = Ran();
  ASSERT_EQ(ran.size(), 1u);
  EXPECT_EQ(ran[0][0], "prog.exe");
  EXPECT_EQ(std::vector<std::string>(ran[0].begin() + 2, ran[0].end()),
            (std::vector<std::string>{"a", "b c"}));  // the shell's own quoting
  EXPECT_EQ(platform::RunCommand("exit 3", code), 0);
  EXPECT_EQ(code, 3u);
}
#endif

}  // namespace
