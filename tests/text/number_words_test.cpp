// Whole numbers and forint amounts in words.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "platform/codepage.h"
#include "text/text.h"

namespace {

using namespace platform::literals;
using text::AmountWords;
using text::NumberWords;

TEST(AmountWords, SmallNumbers) {
  EXPECT_EQ(AmountWords(0), "Nulla Ft");
  EXPECT_EQ(AmountWords(1), "Egy Ft");
  EXPECT_EQ(AmountWords(11), "Tizenegy Ft");
  EXPECT_EQ(AmountWords(12), "Tizenkettö Ft"_cp);
  EXPECT_EQ(AmountWords(20), "Húsz Ft"_cp);
  EXPECT_EQ(AmountWords(25), "Huszonöt Ft"_cp);
  EXPECT_EQ(AmountWords(99), "Kilencvenkilenc Ft");
  EXPECT_EQ(AmountWords(10), "Tíz Ft"_cp);
  EXPECT_EQ(AmountWords(30), "Harminc Ft");
}

TEST(AmountWords, HundredsAndThousands) {
  EXPECT_EQ(AmountWords(100), "Száz Ft"_cp);
  EXPECT_EQ(AmountWords(101), "Százegy Ft"_cp);
  EXPECT_EQ(AmountWords(200), "Kettöszáz Ft"_cp);
  EXPECT_EQ(AmountWords(1001), "Egyezeregy Ft");
  EXPECT_EQ(AmountWords(1100), "Egyezerszáz Ft"_cp);
  EXPECT_EQ(AmountWords(5000), "ötezer Ft"_cp);  // only a..z are upper-cased
}

TEST(AmountWords, HyphenBeforeTheLastThreeDigitsAbove2000) {
  EXPECT_EQ(AmountWords(2000), "Kettöezer Ft"_cp);
  EXPECT_EQ(AmountWords(2001), "Kettöezer-egy Ft"_cp);
  EXPECT_EQ(AmountWords(2500), "Kettöezer-ötszáz Ft"_cp);
  EXPECT_EQ(AmountWords(1999), "Egyezerkilencszázkilencvenkilenc Ft"_cp);
  EXPECT_EQ(AmountWords(3000), "Háromezer Ft"_cp);
  EXPECT_EQ(AmountWords(12000), "Tizenkettöezer Ft"_cp);
}

TEST(AmountWords, MillionsAndMilliards) {
  EXPECT_EQ(AmountWords(1000000), "Egymillió Ft"_cp);
  EXPECT_EQ(AmountWords(1000005), "Egymillió-öt Ft"_cp);
  EXPECT_EQ(AmountWords(1002003), "Egymilliókettöezer-három Ft"_cp);
  EXPECT_EQ(AmountWords(1234567), "Egymilliókettöszázharmincnégyezer-ötszázhatvanhét Ft"_cp);
  EXPECT_EQ(AmountWords(2001001), "Kettömillióegyezer-egy Ft"_cp);
  EXPECT_EQ(AmountWords(1000000000), "Egymilliárd Ft"_cp);
  EXPECT_EQ(AmountWords(1000000005), "Egymilliárd-öt Ft"_cp);
  EXPECT_EQ(AmountWords(1001000000), "Egymilliárdegymillió Ft"_cp);
  EXPECT_EQ(AmountWords(2000001000), "Kettömilliárdegyezer Ft"_cp);
}

TEST(AmountWords, LargestValue) {
  const std::string nines = std::string("kilencszázkilencvenkilenc"_cp);
  std::string words = "K" + nines.substr(1) + std::string("milliárd"_cp) + nines +
                      std::string("millió"_cp) + nines + "ezer-" + nines;
  EXPECT_EQ(words.size(), 119u);
  EXPECT_EQ(AmountWords(999999999999.0L), words + " Ft");
  EXPECT_EQ(NumberWords(999999999999.0L), words);
}

TEST(AmountWords, Negative) {
  EXPECT_EQ(AmountWords(-15), "MINUSZ Tizenöt Ft"_cp);
  EXPECT_EQ(AmountWords(-2001), "MINUSZ Kettöezer-egy Ft"_cp);
  // Nothing left to be negative after rounding to fillér.
  EXPECT_EQ(AmountWords(-0.001), "Nulla Ft");
}

TEST(AmountWords, Fillers) {
  EXPECT_EQ(AmountWords(1000.5), "Egyezer Ft ötven Fillér"_cp);
  EXPECT_EQ(AmountWords(1.05), "Egy Ft öt Fillér"_cp);
  EXPECT_EQ(AmountWords(0.5), "Nulla Ft ötven Fillér"_cp);
  EXPECT_EQ(AmountWords(0.994), "Nulla Ft kilencvenkilenc Fillér"_cp);
  EXPECT_EQ(AmountWords(-15.25), "MINUSZ Tizenöt Ft huszonöt Fillér"_cp);
  EXPECT_EQ(AmountWords(2.675), "Kettö Ft hatvannyolc Fillér"_cp);
  // Hundredths that round away are not written; a rounding carry is a forint.
  EXPECT_EQ(AmountWords(1.004), "Egy Ft");
  EXPECT_EQ(AmountWords(1.999), "Kettö Ft"_cp);
  EXPECT_EQ(AmountWords(1999.996), "Kettöezer Ft"_cp);
  EXPECT_EQ(AmountWords(2000.999), "Kettöezer-egy Ft"_cp);
}

TEST(AmountWords, BeyondTheWords) {
  EXPECT_EQ(AmountWords(1e12), "1000000000000 Ft");
  EXPECT_EQ(AmountWords(-1e12), "MINUSZ 1000000000000 Ft");
  EXPECT_EQ(AmountWords(1e12 + 0.5), "1000000000000 Ft ötven Fillér"_cp);
  EXPECT_EQ(AmountWords(999999999999.995), "1000000000000 Ft");
  EXPECT_EQ(AmountWords(999999999999999999.0L), "999999999999999999 Ft");
  EXPECT_EQ(AmountWords(1e18L), "");
  EXPECT_EQ(AmountWords(1e300), "");
  EXPECT_EQ(AmountWords(std::numeric_limits<long double>::quiet_NaN()), "");
  EXPECT_EQ(AmountWords(-std::numeric_limits<long double>::infinity()), "");
}

TEST(NumberWords, WholePartOnly) {
  EXPECT_EQ(NumberWords(0), "Nulla");
  EXPECT_EQ(NumberWords(0.7), "Nulla");
  EXPECT_EQ(NumberWords(12.9), "Tizenkettö"_cp);
  EXPECT_EQ(NumberWords(2001), "Kettöezer-egy"_cp);
  EXPECT_EQ(NumberWords(5000), "ötezer"_cp);
  EXPECT_EQ(NumberWords(-15), "MINUSZ Tizenöt"_cp);
  EXPECT_EQ(NumberWords(-0.5), "MINUSZ Nulla");
  EXPECT_EQ(NumberWords(999999999999.9L).size(), 119u);
  EXPECT_EQ(NumberWords(1e12), "1000000000000");
  EXPECT_EQ(NumberWords(-1e12), "MINUSZ 1000000000000");
  EXPECT_EQ(NumberWords(1e19L), "");
  EXPECT_EQ(NumberWords(std::numeric_limits<long double>::infinity()), "");
}

TEST(DigitsToWords, Core) {
  EXPECT_EQ(text::DigitsToWords("000000001234", 1234), "egyezerkettöszázharmincnégy"_cp);
  EXPECT_EQ(text::DigitsToWords("  12", 12), "tizenkettö"_cp);
  EXPECT_EQ(text::DigitsToWords("000", 0), "nulla");
  EXPECT_EQ(text::DigitsToWords("", 0), "nulla");
  EXPECT_EQ(text::DigitsToWords("05", 0), "öt"_cp);
  // The value only decides the hyphen.
  EXPECT_EQ(text::DigitsToWords("2001", 2001), "kettöezer-egy"_cp);
  EXPECT_EQ(text::DigitsToWords("2001", 0), "kettöezeregy"_cp);
  EXPECT_EQ(text::DigitsToWords("2001", -2001), "kettöezer-egy"_cp);
  // More significant digits than the group words reach: nothing is written.
  EXPECT_EQ(text::DigitsToWords("1000000000000", 1e12), "");
  EXPECT_EQ(text::DigitsToWords("0001000000000", 1e9), "egymilliárd"_cp);
}

}  // namespace
