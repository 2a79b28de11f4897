// Copying by blocks and through the system, and the size of a named file.
#include "../full_disk.h"
#include "files_fixture.h"

namespace {

class CopyTest : public FilesTest {
 protected:
  static std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 7 % 251);
    return s;
  }
  static std::uint64_t TimeOf(const std::string& path) {
    std::uint64_t time = 0;
    EXPECT_EQ(platform::GetWriteTime(path, time), 0);
    return time;
  }
  static constexpr std::uint64_t kTime = 131000000000000000ULL;  // 2016
};

TEST_F(CopyTest, BlocksAreCopiedWithTheSourcesTime) {
  std::string bytes = Pattern(70001);  // two full blocks and a part
  WriteFile(Work() / "forras.bin", bytes);
  ASSERT_EQ(platform::SetWriteTime("forras.bin", kTime), 0);
  EXPECT_EQ(files::CopyFileBlocks("forras.bin", "cel.bin"), files::CopyResult::kCopied);
  EXPECT_EQ(ReadFile(Work() / "cel.bin"), bytes);
  EXPECT_EQ(TimeOf("cel.bin"), kTime);
}

TEST_F(CopyTest, AnEmptyFileGivesAnEmptyTargetWithTheTime) {
  WriteFile(Work() / "ures.bin", "");
  WriteFile(Work() / "cel.bin", "regi tartalom");
  ASSERT_EQ(platform::SetWriteTime("ures.bin", kTime), 0);
  EXPECT_EQ(files::CopyFileBlocks("ures.bin", "cel.bin"), files::CopyResult::kCopied);
  EXPECT_EQ(ReadFile(Work() / "cel.bin"), "");
  EXPECT_EQ(TimeOf("cel.bin"), kTime);
}

TEST_F(CopyTest, MissingSourceAndUncreatableTargetHaveTheirResults) {
  WriteFile(Work() / "forras.bin", "x");
  EXPECT_EQ(files::CopyFileBlocks("nincs.bin", "cel.bin"), files::CopyResult::kSourceNotOpened);
  EXPECT_FALSE(fs::exists(Work() / "cel.bin"));
  EXPECT_EQ(files::CopyFileBlocks("forras.bin", "nincs\\cel.bin"), files::CopyResult::kTargetNotCreated);
  if (!UnderWine()) {  // Wine lets root replace a read-only file
    WriteFile(Work() / "csak.bin", "marad");
    ASSERT_EQ(platform::SetAttributes("csak.bin", platform::attr::kReadOnly), 0);
    EXPECT_EQ(files::CopyFileBlocks("forras.bin", "csak.bin"), files::CopyResult::kTargetNotCreated);
    EXPECT_EQ(ReadFile(Work() / "csak.bin"), "marad");
  }
}

TEST_F(CopyTest, AFullDiskGivesFourAndKeepsWhatWasWritten) {
  std::string bytes = Pattern(100000);
  WriteFile(Work() / "forras.bin", bytes);
  {
    test_support::FullDisk disk(50000);
    EXPECT_EQ(files::CopyFileBlocks("forras.bin", "cel.bin"), files::CopyResult::kDiskFull);
  }
  EXPECT_EQ(ReadFile(Work() / "cel.bin"), bytes.substr(0, 50000));
}

// A disk that fails a write ends the program with the error's number; the
// target keeps nothing of the source.
TEST_F(CopyTest, AFailingDiskEndsTheProgramWithItsErrorNumber) {
  WriteFile(Work() / "forras.bin", Pattern(1000));
  int code = -1;
  {
    test_support::FullDisk disk(SIZE_MAX);
    disk.FailWith(platform::error::kGeneralFailure);
    try {
      (void)files::CopyFileBlocks("forras.bin", "cel.bin");
    } catch (const console::ProgramEnd& end) {
      code = end.Code;
    }
  }
  EXPECT_EQ(code, platform::error::kGeneralFailure);
  EXPECT_EQ(ReadFile(Work() / "cel.bin"), "");
}

TEST_F(CopyTest, TheSystemCopyOverwritesAndKeepsTheTime) {
  WriteFile(Work() / "forras.bin", "uj");
  WriteFile(Work() / "cel.bin", "regi");
  ASSERT_EQ(platform::SetWriteTime("forras.bin", kTime), 0);
  EXPECT_TRUE(files::CopyFileSystem("forras.bin", "cel.bin"));
  EXPECT_EQ(ReadFile(Work() / "cel.bin"), "uj");
  EXPECT_EQ(TimeOf("cel.bin"), kTime);
  EXPECT_FALSE(files::CopyFileSystem("nincs.bin", "cel2.bin"));
}

TEST_F(CopyTest, FileSizeByNameIgnoresTheLetterCase) {
  WriteFile(Work() / "kicsi.txt", std::string(1234, 'k'));
  EXPECT_EQ(files::FileSizeByName(Win(Work()) + "\\kicsi.txt"), 1234u);
  EXPECT_EQ(files::FileSizeByName(Win(Work()) + "\\KICSI.TXT"), 1234u);
  EXPECT_EQ(files::FileSizeByName("kicsi.txt"), 1234u);
  EXPECT_EQ(files::FileSizeByName(Win(Work()) + "\\nincs.txt"), 0u);
  EXPECT_EQ(files::FileSizeByName(Win(Work()) + "\\*.txt"), 0u);  // no entry is named "*.TXT"
  fs::create_directories(Work() / "mappa");
  EXPECT_EQ(files::FileSizeByName(Win(Work()) + "\\mappa"), 0u);  // folders are not searched
}

}  // namespace
