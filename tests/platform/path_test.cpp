// Taking paths apart: the edge cases every caller relies on.
#include "platform/path.h"

#include <gtest/gtest.h>

namespace {

struct Split {
  std::string_view Path, Folder, File, Extension;
};

// Drive roots, drive-relative names, network shares, both separators, no
// separator at all, a trailing separator.
constexpr Split kSplits[] = {
    {"C:\\SZAMLA\\prgfr.exe", "C:\\SZAMLA", "prgfr.exe", ".exe"},
    {"C:\\p.exe", "C:\\", "p.exe", ".exe"},
    {"C:/p.exe", "C:/", "p.exe", ".exe"},
    {"C:p.exe", "C:", "p.exe", ".exe"},
    {"\\\\gep\\megosztas\\p.exe", "\\\\gep\\megosztas", "p.exe", ".exe"},
    {"\\p.exe", "\\", "p.exe", ".exe"},
    {"/home/x/prgfr", "/home/x", "prgfr", ""},
    {"C:\\a/b\\c.tar.gz", "C:\\a/b", "c.tar.gz", ".gz"},
    {"prgfr.exe", "", "prgfr.exe", ".exe"},
    {"C:\\SZAMLA\\", "C:\\SZAMLA", "", ""},
    {"C:\\", "C:\\", "", ""},
    {"a.b\\c", "a.b", "c", ""},
    {"", "", "", ""},
};

TEST(Path, FolderFileAndExtensionParts) {
  for (const Split& s : kSplits) {
    EXPECT_EQ(platform::FolderPart(s.Path), s.Folder) << s.Path;
    EXPECT_EQ(platform::FilePart(s.Path), s.File) << s.Path;
    EXPECT_EQ(platform::Extension(s.Path), s.Extension) << s.Path;
    EXPECT_EQ(platform::FilePartStart(s.Path) + s.File.size(), s.Path.size()) << s.Path;
  }
}

TEST(Path, JoinPutsOneSeparatorBetween) {
  EXPECT_EQ(platform::JoinPath("C:\\SZAMLA", "fop.exe"), "C:\\SZAMLA\\fop.exe");
  EXPECT_EQ(platform::JoinPath("C:\\", "fop.exe"), "C:\\fop.exe");
  EXPECT_EQ(platform::JoinPath("/home/x/", "p"), "/home/x/p");
  EXPECT_EQ(platform::JoinPath("C:", "p.exe"), "C:p.exe");
  EXPECT_EQ(platform::JoinPath("", "p.exe"), "p.exe");
  EXPECT_EQ(platform::JoinPath("C:\\SZAMLA", "PRG\\szamla.exe"), "C:\\SZAMLA\\PRG\\szamla.exe");
  // A path taken apart comes together again.
  for (std::string_view path : {"C:\\SZAMLA\\p.exe", "C:\\p.exe", "C:p.exe", "p.exe"})
    EXPECT_EQ(platform::JoinPath(platform::FolderPart(path), platform::FilePart(path)), path);
}

}  // namespace
