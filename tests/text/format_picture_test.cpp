// FormatPicture: worked examples, edge cases and a randomised cross-check
// against a plain reference written from the picture rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>

#include "text/text.h"

namespace {

using text::FormatPicture;

TEST(FormatPicture, DigitPositions) {
  EXPECT_EQ(FormatPicture("@@", 5), "05");
  EXPECT_EQ(FormatPicture("##", 5), " 5");
  EXPECT_EQ(FormatPicture("###", 0), "  0");
  EXPECT_EQ(FormatPicture("@@@", 0), "000");
  EXPECT_EQ(FormatPicture("@@@@@@@@@@@@", 999999999999.0L), "999999999999");
  EXPECT_EQ(FormatPicture("@@@@@@@@@@@@", 1234), "000000001234");
  EXPECT_EQ(FormatPicture("", 0), "");
}

TEST(FormatPicture, GroupingSeparators) {
  EXPECT_EQ(FormatPicture("###.###.###.", 1234567), "  1.234.567");
  EXPECT_EQ(FormatPicture("###.###.###.", 567), "        567");
  EXPECT_EQ(FormatPicture("###.###.###.", 0), "          0");
  EXPECT_EQ(FormatPicture("###,###,###,", 1234), "      1,234");
  EXPECT_EQ(FormatPicture("@@@.@@@.", 12), "000.012");
  // The last separator followed by digit positions is the decimal point.
  EXPECT_EQ(FormatPicture("###,###,###", 1234), "  1,234,000");
  EXPECT_EQ(FormatPicture("@@@.@@@", 12), "012.000");
  // With the last separator dropped every other one groups.
  EXPECT_EQ(FormatPicture("##.##.", 123), " 1.23");
  EXPECT_EQ(FormatPicture("##.", 5), " 5");
  EXPECT_EQ(FormatPicture("##..", 5), " 5");
}

TEST(FormatPicture, DecimalPoint) {
  EXPECT_EQ(FormatPicture("###.###,##", 12345.678), " 12.345,68");
  EXPECT_EQ(FormatPicture("###,###.##", 0.5), "      0.50");
  EXPECT_EQ(FormatPicture("##:##", 12.5), "12:50");
  EXPECT_EQ(FormatPicture(".##", 0.5), ".50");
  EXPECT_EQ(FormatPicture("#.#@", 1.5), "1.50");
  EXPECT_EQ(FormatPicture("#.##", 3), "3.00");
}

TEST(FormatPicture, RoundingIsDecimalHalfAwayFromZero) {
  // Binary neighbours of decimal halves must not turn the figure.
  EXPECT_EQ(FormatPicture("#.##", 1.005), "1.01");
  EXPECT_EQ(FormatPicture("#.##", 1.005L), "1.01");
  EXPECT_EQ(FormatPicture("#.##", 2.675), "2.68");
  EXPECT_EQ(FormatPicture("#.##", 0.005), "0.01");
  EXPECT_EQ(FormatPicture("#.##", 1.0049), "1.00");
  EXPECT_EQ(FormatPicture("#.##", 0.004), "0.00");
  EXPECT_EQ(FormatPicture("##.##", -1.005), "-1.01");
  EXPECT_EQ(FormatPicture("###", 2.5), "  3");
  EXPECT_EQ(FormatPicture("###", -2.5), " -3");
  EXPECT_EQ(FormatPicture("###", 0.4999), "  0");
  EXPECT_EQ(FormatPicture("##.##", 9.995), "10.00");
  EXPECT_EQ(FormatPicture("###.###,##", 0.1 + 0.2), "      0,30");
  // Exact integers beyond a double's 53 bits keep every digit.
  EXPECT_EQ(FormatPicture("@@@@@@@@@@@@@@@@@@", 123456789012345678.0L), "123456789012345678");
}

TEST(FormatPicture, SignPlace) {
  // Without a sign mark a negative value takes the first position.
  EXPECT_EQ(FormatPicture("###.###,##", -12345.678), "-12.345,68");
  EXPECT_EQ(FormatPicture("###.###,##", -5.5), "     -5,50");
  EXPECT_EQ(FormatPicture("###", -12), "-12");
  EXPECT_EQ(FormatPicture("@@@@", -5), "-005");
  // Marked sign places, leading and trailing.
  EXPECT_EQ(FormatPicture("-###", 12), "  12");
  EXPECT_EQ(FormatPicture("-###", -12), " -12");
  EXPECT_EQ(FormatPicture("+###", 12), " +12");
  EXPECT_EQ(FormatPicture("+###", 0), "  +0");
  EXPECT_EQ(FormatPicture("+###", -7), "  -7");
  EXPECT_EQ(FormatPicture("###-", -12), " 12-");
  EXPECT_EQ(FormatPicture("###-", 12), " 12 ");
  EXPECT_EQ(FormatPicture("-###.###.", -1234), "  -1.234");
  EXPECT_EQ(FormatPicture("-###.###.", -12), "     -12");
  EXPECT_EQ(FormatPicture("###.###.-", -12), "     12-");
  // A value that rounds to zero has no sign.
  EXPECT_EQ(FormatPicture("##.##", -0.004), " 0.00");
  EXPECT_EQ(FormatPicture("###", -0.0), "  0");
}

TEST(FormatPicture, OtherCharactersAreCopied) {
  EXPECT_EQ(FormatPicture("Ft ###", 12), "Ft  12");
  EXPECT_EQ(FormatPicture("### Ft", 1), "  1 Ft");
}

TEST(FormatPicture, TooManyDigitsWritesTheWholeNumber) {
  EXPECT_EQ(FormatPicture("###", 1234), "1234");
  EXPECT_EQ(FormatPicture("#,###,", 12345), "12345");
  EXPECT_EQ(FormatPicture("#,###", 12345), "12345,000");
  EXPECT_EQ(FormatPicture("###.###.###.", 1234567890), " 1234567890");
  EXPECT_EQ(FormatPicture("#.##", 12.345), "12.35");
  EXPECT_EQ(FormatPicture("#.##", -1.005), "-1.01");
  EXPECT_EQ(FormatPicture("###", -123), "-123");
  EXPECT_EQ(FormatPicture("+##", 123), "+123");
  EXPECT_EQ(FormatPicture("##.##.", 12345), "12345");
  // Beyond what a short string holds: the picture's width of "*".
  EXPECT_EQ(FormatPicture("###", 1e300), "***");
  EXPECT_EQ(FormatPicture("#.##", std::numeric_limits<long double>::max()), "****");
}

TEST(FormatPicture, NotANumber) {
  EXPECT_EQ(FormatPicture("#####", std::numeric_limits<long double>::quiet_NaN()), "  NAN");
  EXPECT_EQ(FormatPicture("#####", std::numeric_limits<long double>::infinity()), "  INF");
  EXPECT_EQ(FormatPicture("#####", -std::numeric_limits<long double>::infinity()), " -INF");
  EXPECT_EQ(FormatPicture("#", std::numeric_limits<long double>::infinity()), "INF");
}

TEST(FormatPicture, TinyValues) {
  EXPECT_EQ(FormatPicture("#.##", std::numeric_limits<long double>::denorm_min()), "0.00");
  EXPECT_EQ(FormatPicture("#.##", -std::numeric_limits<long double>::min()), "0.00");
}

// ---- Randomised cross-check ------------------------------------------------

bool IsSeparator(char c) { return c == ',' || c == '.' || c == ':'; }
bool IsDigitPosition(char c) { return c == '#' || c == '@'; }

std::uint64_t Pow10(int n) {
  std::uint64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

// The picture rules applied to the exact decimal k / 10^scale, rounded with
// integer arithmetic and laid out left to right.
std::string Reference(const std::string& picture, std::int64_t k, int scale) {
  std::size_t last = picture.find_last_of(",.:");
  bool hasPoint = last != std::string::npos && picture.find_first_of("#@", last + 1) != std::string::npos;
  std::string shown;
  int pointAt = -1;
  for (std::size_t i = 0; i < picture.size(); ++i) {
    if (IsSeparator(picture[i]) && picture.find_first_of("#@", i + 1) == std::string::npos) continue;
    if (hasPoint && i == last) pointAt = static_cast<int>(shown.size());
    shown += picture[i];
  }
  const int width = static_cast<int>(shown.size());
  const int intEnd = pointAt < 0 ? width : pointAt;
  int decimals = 0;
  for (int i = intEnd; i < width; ++i) decimals += IsDigitPosition(shown[i]);

  std::uint64_t m = k < 0 ? static_cast<std::uint64_t>(-k) : static_cast<std::uint64_t>(k);
  std::string digits = std::to_string(m);
  if (decimals >= scale) {
    digits.append(decimals - scale, '0');
  } else {
    std::uint64_t unit = Pow10(scale - decimals);
    digits = std::to_string((m + unit / 2) / unit);
  }
  bool negative = k < 0 && digits.find_first_not_of('0') != std::string::npos;
  if (static_cast<int>(digits.size()) < decimals + 1) digits.insert(0, decimals + 1 - digits.size(), '0');
  std::string whole = digits.substr(0, digits.size() - decimals);
  std::string fraction = digits.substr(digits.size() - decimals);
  if (whole == "0") whole.clear();

  std::size_t mark = shown.find_first_of("+-");
  int signAt = mark != std::string::npos ? static_cast<int>(mark) : (negative && width > 0 ? 0 : -1);
  char signChar = negative ? '-' : (mark != std::string::npos && shown[mark] == '+' ? '+' : ' ');

  int positions = 0;
  for (int i = 0; i < intEnd; ++i) positions += IsDigitPosition(shown[i]) && i != signAt;
  if (whole.empty() && positions > 0) whole.push_back('0');
  if (static_cast<int>(whole.size()) > positions) {
    std::string text = signChar == ' ' ? "" : std::string(1, signChar);
    text += whole.empty() ? "0" : whole;
    if (pointAt >= 0) text.append(1, shown[pointAt]).append(fraction);
    if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), ' ');
    return text;
  }

  std::string out;
  int pad = positions - static_cast<int>(whole.size()), used = 0, fractionUsed = 0;
  for (int i = 0; i < width; ++i) {
    char c = shown[i];
    if (i == signAt) {
      out += ' ';
    } else if (IsDigitPosition(c) && i < intEnd) {
      out += used < pad ? (c == '@' ? '0' : ' ') : whole[used - pad];
      ++used;
    } else if (IsDigitPosition(c)) {
      out += fraction[fractionUsed++];
    } else if (IsSeparator(c)) {
      out += i > 0 && out.back() == ' ' ? ' ' : c;
    } else {
      out += c;
    }
  }
  if (signAt >= 0) {
    int at = signAt;
    while (at + 1 < width && out[at + 1] == ' ' && (IsDigitPosition(shown[at + 1]) || IsSeparator(shown[at + 1])))
      ++at;
    out[at] = signChar;
  }
  return out;
}

std::string RandomPicture(std::mt19937& rng) {
  auto chance = [&](int percent) { return static_cast<int>(rng() % 100) < percent; };
  const std::string separators = ",.:";
  std::string picture;
  char sign = chance(15) ? '+' : chance(15) ? '-' : 0;
  bool trailingSign = sign && chance(30);
  if (sign && !trailingSign) picture += sign;
  int groups = 1 + static_cast<int>(rng() % 4);
  char groupSeparator = separators[rng() % 3];
  for (int g = 0; g < groups; ++g) {
    if (g > 0 && chance(80)) picture += groupSeparator;
    int length = 1 + static_cast<int>(rng() % 3);
    for (int i = 0; i < length; ++i) picture += chance(25) ? '@' : '#';
  }
  if (chance(50)) {
    picture += separators[rng() % 3];
    int decimals = 1 + static_cast<int>(rng() % 3);
    for (int i = 0; i < decimals; ++i) picture += chance(50) ? '@' : '#';
  }
  if (chance(15)) picture += separators[rng() % 3];
  if (trailingSign) picture += sign;
  return picture;
}

TEST(FormatPicture, AgreesWithTheReferenceOnRandomValues) {
  std::mt19937 rng(20240611);
  for (int n = 0; n < 20000; ++n) {
    std::string picture = RandomPicture(rng);
    int digits = static_cast<int>(rng() % 16);  // up to 15 significant digits
    std::int64_t k = static_cast<std::int64_t>(rng() % Pow10(digits > 9 ? 9 : digits));
    if (digits > 9) k = k * static_cast<std::int64_t>(Pow10(digits - 9)) + static_cast<std::int64_t>(rng() % Pow10(digits - 9));
    if (rng() % 2) k = -k;
    int scale = static_cast<int>(rng() % 5);
    double asDouble = static_cast<double>(k) / static_cast<double>(Pow10(scale));
    ASSERT_EQ(FormatPicture(picture, asDouble), Reference(picture, k, scale))
        << "picture \"" << picture << "\" value " << k << "e-" << scale;
    long double asLong = static_cast<long double>(k) / static_cast<long double>(Pow10(scale));
    ASSERT_EQ(FormatPicture(picture, asLong), Reference(picture, k, scale))
        << "picture \"" << picture << "\" long double value " << k << "e-" << scale;
  }
}

}  // namespace
