// Clearing a folder tree (its refusals, its walk, and that it never leaves
// the tree) and clearing one folder.
#include "files_fixture.h"
#include "platform/codepage.h"

namespace {

using namespace platform::literals;

class ClearTest : public FilesTest {
 protected:
  // work\ki\{a.txt, .rejtett, b\{c.txt, d\{e.txt}}, ures\}
  void MakeTree() {
    fs::create_directories(Work() / "ki" / "b" / "d");
    fs::create_directories(Work() / "ki" / "ures");
    WriteFile(Work() / "ki" / "a.txt", "a");
    WriteFile(Work() / "ki" / ".rejtett", "r");
    WriteFile(Work() / "ki" / "b" / "c.txt", "c");
    WriteFile(Work() / "ki" / "b" / "d" / "e.txt", "e");
  }
  bool Empty(const fs::path& folder) { return fs::is_empty(folder); }
  std::string Tree() const { return Win(Work() / "ki"); }
};

TEST_F(ClearTest, ClearsEverythingBelowTheFolderAndKeepsIt) {
  MakeTree();
  std::string here = platform::CurrentFolder();
  EXPECT_TRUE(files::ClearFolderTree(Tree()));
  EXPECT_TRUE(fs::is_directory(Work() / "ki"));
  EXPECT_TRUE(Empty(Work() / "ki"));
  EXPECT_EQ(platform::CurrentFolder(), here);
}

TEST_F(ClearTest, RefusesWhenTheCurrentFolderIsOrLiesInTheFolder) {
  MakeTree();
  for (fs::path inside : {Work() / "ki", Work() / "ki" / "b"}) {
    fs::current_path(inside);
    ExpectMessage("Benne állok a törlendő mappában!"_cp);
    EXPECT_FALSE(files::ClearFolderTree(Tree()));
  }
  // The folder's text merely occurring in the current folder's is enough.
  fs::create_directories(Work() / "kint");
  fs::current_path(Work() / "kint");
  ExpectMessage("Benne állok a törlendő mappában!"_cp);
  EXPECT_FALSE(files::ClearFolderTree(Win(Work() / "kin")));
  EXPECT_TRUE(fs::exists(Work() / "ki" / "b" / "d" / "e.txt"));
}

TEST_F(ClearTest, AMissingFolderIsReported) {
  std::string here = platform::CurrentFolder();
  ExpectMessage("A megadott mappa nem létezik!"_cp);
  EXPECT_FALSE(files::ClearFolderTree(Win(Work() / "nincs")));
  EXPECT_EQ(platform::CurrentFolder(), here);
}

TEST_F(ClearTest, ARelativeNameStopsAtTheFirstFile) {
  MakeTree();
  std::string here = platform::CurrentFolder();
  Then([this] {
    EXPECT_NE(Screen80x25().find("Rossz helyen vagyok!"_cp), std::string::npos);
    Enter();
  });
  EXPECT_FALSE(files::ClearFolderTree("ki"));
  EXPECT_EQ(platform::CurrentFolder(), here);
}

// A folder given in another form than the current folder's text must not
// let the walk climb above it: the folder's own parent and its other
// (empty) folders stay.
TEST_F(ClearTest, TheWalkNeverClimbsAboveTheFolder) {
  fs::create_directories(Work() / "ki" / "b" / "d");
  fs::create_directories(Work() / "szomszed" / "ures");
  EXPECT_TRUE(files::ClearFolderTree("ki"));
  EXPECT_TRUE(Empty(Work() / "ki"));
  EXPECT_TRUE(fs::is_directory(Work() / "szomszed" / "ures"));
}

TEST_F(ClearTest, AReadOnlyFileStopsTheWalkWithHiba) {
  if (UnderWine()) GTEST_SKIP() << "Wine lets root delete a read-only file";
  MakeTree();
  ASSERT_EQ(platform::SetAttributes(Win(Work() / "ki" / "b" / "c.txt"), platform::attr::kReadOnly), 0);
  std::string here = platform::CurrentFolder();
  ExpectMessage("Hiba!");
  EXPECT_FALSE(files::ClearFolderTree(Tree()));
  EXPECT_EQ(platform::CurrentFolder(), here);
  EXPECT_TRUE(fs::exists(Work() / "ki" / "b" / "c.txt"));
}

#ifndef _WIN32
TEST_F(ClearTest, ALinkToAFolderElsewhereIsRemovedNotFollowed) {
  MakeTree();
  fs::create_directories(Work() / "kincs" / "ures");
  WriteFile(Work() / "kincs" / "fontos.txt", "!");
  fs::create_directory_symlink(Work() / "kincs", Work() / "ki" / "b" / "link");
  EXPECT_TRUE(files::ClearFolderTree(Tree()));
  EXPECT_TRUE(Empty(Work() / "ki"));
  EXPECT_TRUE(fs::exists(Work() / "kincs" / "fontos.txt"));
  EXPECT_TRUE(fs::is_directory(Work() / "kincs" / "ures"));
}
#endif

TEST_F(ClearTest, ClearFolderRemovesAnEmptyFolder) {
  fs::create_directories(Work() / "ures");
  EXPECT_TRUE(files::ClearFolder(Win(Work() / "ures")));
  EXPECT_FALSE(fs::exists(Work() / "ures"));
  EXPECT_FALSE(files::ClearFolder(Win(Work() / "ures")));  // no longer there
}

TEST_F(ClearTest, ClearFolderDeletesFilesButKeepsAFolderWithSubfolders) {
  MakeTree();
  EXPECT_FALSE(files::ClearFolder(Tree()));
  EXPECT_FALSE(fs::exists(Work() / "ki" / "a.txt"));
  EXPECT_FALSE(fs::exists(Work() / "ki" / ".rejtett"));
  EXPECT_TRUE(fs::exists(Work() / "ki" / "b" / "c.txt"));
  EXPECT_TRUE(fs::is_directory(Work() / "ki"));
}

}  // namespace
