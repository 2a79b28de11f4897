// Short strings, the number reader, trimming, filling, centring, heap copies.
#include <gtest/gtest.h>

#include <string>

#include "text/text.h"

namespace {

using namespace std::string_literals;

TEST(Strings, ShortCutsTo255) {
  EXPECT_EQ(text::Short(std::string(255, 'x')).size(), 255u);
  EXPECT_EQ(text::Short(std::string(256, 'x')), std::string(255, 'x'));
  EXPECT_EQ(text::Short(""), "");
}

TEST(Strings, ReadNumberAsValDoes) {
  EXPECT_EQ(text::ReadNumber("12.5"), 12.5L);
  EXPECT_EQ(text::ReadNumber("  -3 "), -3.0L);
  EXPECT_EQ(text::ReadNumber("+7"), 7.0L);
  EXPECT_EQ(text::ReadNumber(".5"), 0.5L);
  EXPECT_EQ(text::ReadNumber("5."), 5.0L);
  EXPECT_EQ(text::ReadNumber("1E3"), 1000.0L);
  EXPECT_EQ(text::ReadNumber("2.5e-1"), 0.25L);
  EXPECT_EQ(text::ReadNumber("0.000"), 0.0L);
  for (const char* bad : {"", "   ", "abc", "1,5", "1.2.3", ".", "-", "1e", "1e+", "1 2", "0x10",
                          "inf", "nan", "12a"})
    EXPECT_FALSE(text::ReadNumber(bad).has_value()) << bad;
  EXPECT_EQ(text::StrToNumber("abc"), 0.0L);
  EXPECT_EQ(text::StrToNumber(" 42"), 42.0L);
}

TEST(Strings, TrimRightRemovesBlanksOnly) {
  EXPECT_EQ(text::TrimRight("  ab  "), "  ab");
  EXPECT_EQ(text::TrimRight("ab\0 "s), "ab\0"s);
  EXPECT_EQ(text::TrimRight("   "), "");
  EXPECT_EQ(text::TrimRight(""), "");
}

TEST(Strings, TrimByType) {
  EXPECT_EQ(text::TrimByType("12.500", 'N'), "12.5");
  EXPECT_EQ(text::TrimByType("100", 'N'), "1");
  EXPECT_EQ(text::TrimByType("100\0\0"s, 'N'), "1");
  EXPECT_EQ(text::TrimByType("12.500 ", 'N'), "12.500 ");
  EXPECT_EQ(text::TrimByType("ab \0 \0"s, 'C'), "ab");
  EXPECT_EQ(text::TrimByType(" ab\0"s, 'D'), " ab");
  EXPECT_EQ(text::TrimByType("abc00", 'C'), "abc00");
  // "S": empty when the text reads as 0, otherwise kept as it stands.
  EXPECT_EQ(text::TrimByType(" 0.00 ", 'S'), "");
  EXPECT_EQ(text::TrimByType("0", 'S'), "");
  EXPECT_EQ(text::TrimByType("-0", 'S'), "");
  EXPECT_EQ(text::TrimByType(" 12 ", 'S'), " 12 ");
  // A text that is not a number is data, not zero: it stays.
  EXPECT_EQ(text::TrimByType("abc", 'S'), "abc");
  // Other types, lower-case letters and letters below "C" leave the text alone.
  for (char type : {'A', 'B', 'L', 'c', 'n', 'X'}) EXPECT_EQ(text::TrimByType("10 \0"s, type), "10 \0"s);
  for (char type : {'C', 'D', 'N', 'S', 'X'}) EXPECT_EQ(text::TrimByType("", type), "");
}

TEST(Strings, Replicate) {
  EXPECT_EQ(text::Replicate('-', 3), "---");
  EXPECT_EQ(text::Replicate('-', 0), "");
  EXPECT_EQ(text::Replicate('-', -5), "");
  EXPECT_EQ(text::Replicate('=', 300), std::string(255, '='));
}

TEST(Strings, PadRight) {
  EXPECT_EQ(text::PadRight("ab", 5, '.'), "ab...");
  EXPECT_EQ(text::PadRight("abcdef", 3, '.'), "abc");
  EXPECT_EQ(text::PadRight("abc", 3, '.'), "abc");
  EXPECT_EQ(text::PadRight("abc", 0, '.'), "");
  EXPECT_EQ(text::PadRight("abc", -1, '.'), "");
  EXPECT_EQ(text::PadRight("abc", 400, ' ').size(), 255u);
}

TEST(Strings, Trim) {
  EXPECT_EQ(text::Trim("  a b  "), "a b");
  EXPECT_EQ(text::Trim("    "), "");
  EXPECT_EQ(text::Trim("\0 a"s), "\0 a"s);
}

TEST(Strings, Center) {
  EXPECT_EQ(text::Center("ab", 7), "  ab   ");
  EXPECT_EQ(text::Center("ab   ", 6), "  ab  ");
  EXPECT_EQ(text::Center("abc", 3), "abc");
  EXPECT_EQ(text::Center("abcd  ", 2), "abcd");
  EXPECT_EQ(text::Center("", 4), "    ");
  EXPECT_EQ(text::Center("x", 300).size(), 255u);
}

TEST(Strings, CenterIn) {
  EXPECT_EQ(text::CenterIn("ab", 7, '*'), "**ab***");
  EXPECT_EQ(text::CenterIn("ab", 6, '-'), "--ab--");
  EXPECT_EQ(text::CenterIn("abc", 3, '-'), "abc");
  EXPECT_EQ(text::CenterIn("abcd", 2, '-'), "abcd");
  EXPECT_EQ(text::CenterIn("", 3, '-'), "---");
  // A 255-character text comes back unchanged whatever the width.
  EXPECT_EQ(text::CenterIn(std::string(255, 'a'), 300, '-'), std::string(255, 'a'));
  // A width beyond 255 never writes past the short string: the end is cut.
  std::string wide = text::CenterIn("ab", 600, '-');
  EXPECT_EQ(wide, std::string(255, '-'));
  std::string mid = text::CenterIn("ab", 300, '-');
  EXPECT_EQ(mid.size(), 255u);
  EXPECT_EQ(mid.substr(149, 2), "ab");
}

TEST(Strings, HeapCopies) {
  unsigned char* p = text::Stringtoheap("abc");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[0], 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(p + 1), 3), "abc");
  text::Disposestring(p);

  unsigned char* empty = text::Stringtoheap("");
  EXPECT_EQ(empty[0], 0);
  text::Disposestring(empty);

  unsigned char* full = text::Stringtoheap(std::string(300, 'z'));
  EXPECT_EQ(full[0], 255);
  EXPECT_EQ(full[255], 'z');
  text::Disposestring(full);

  text::Disposestring(nullptr);  // ignored
}

}  // namespace
