// The Windows C runtime's rules for splitting a command line, which the
// POSIX process layer follows; the Windows build checks them against what a
// real child receives.
#include "files_fixture.h"

namespace {

using Words = std::vector<std::string>;

struct Case {
  const char* Line;
  Words ExpectedWords;
};

const Case kCases[] = {
    {R"("unzip.exe"  -qo pszla.zip)", {"unzip.exe", "-qo", "pszla.zip"}},
    {R"(prog)", {"prog"}},
    {R"("C:\Program Files\x.exe" a)", {R"(C:\Program Files\x.exe)", "a"}},
    {R"(C:\a\b.exe "two words"	tab)", {R"(C:\a\b.exe)", "two words", "tab"}},
    {R"(p a"b c"d)", {"p", "ab cd"}},
    {R"(p \\server\share C:\dir\)", {"p", R"(\\server\share)", R"(C:\dir\)"}},
    {R"(p a\"b)", {"p", R"(a"b)"}},
    {R"(p a\\"b c")", {"p", R"(a\b c)"}},
    {R"(p a\\\"b)", {"p", R"(a\"b)"}},
    {R"(p "" x)", {"p", "", "x"}},
    {R"(p "open  )", {"p", "open  "}},
    {R"(p "a""b")", {"p", R"(a"b)"}},
};

TEST(CommandLine, SplitsByTheWindowsRuntimeRules) {
  for (const Case& c : kCases) EXPECT_EQ(platform::SplitCommandLine(c.Line), c.ExpectedWords) << c.Line;
}

class ChildArguments : public FilesTest {};

// A child started with each line receives exactly the words of the split
// (its own file name stands first in the log, then its argument 0).
TEST_F(ChildArguments, AChildReceivesTheWordsOfTheSplit) {
  Install("prog.exe");
  std::string program = platform::CurrentFolder() + "\\prog.exe";
  for (const Case& c : kCases) {
    if (c.ExpectedWords.size() < 2) continue;
    std::string line(c.Line);
    std::size_t first = 0;
    for (bool quoted = false; line[first] != ' ' || quoted; ++first)
      if (line[first] == '"') quoted = !quoted;
    std::string arguments = line.substr(first + 1);
    std::uint32_t code = 0;
    ASSERT_EQ(platform::StartAndWait(program, arguments, code), 0) << c.Line;
    auto ran = Ran();
    ASSERT_EQ(ran.size(), 1u) << c.Line;
    Words received(ran[0].begin() + 2, ran[0].end());
    EXPECT_EQ(received, Words(c.ExpectedWords.begin() + 1, c.ExpectedWords.end())) << c.Line;
  }
}

}  // namespace
