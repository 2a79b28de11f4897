// FormatPicture: numbers written by a picture of digit positions,
// separators and a sign place.
#include <charconv>
#include <cmath>
#include <iterator>
#include <vector>

#include "text/text.h"

namespace text {
namespace {

constexpr auto npos = std::string::npos;

enum class Kind { kDigit, kSeparator, kSign, kLiteral };

bool IsDigitPosition(char c) { return c == '#' || c == '@'; }
bool IsSeparator(char c) { return c == ',' || c == '.' || c == ':'; }
bool IsSignMark(char c) { return c == '+' || c == '-'; }

// A picture read once: its shown characters (dropped separators removed) and
// the role of each.
struct Layout {
  std::string Chars;
  std::vector<Kind> Kinds;
  std::size_t Point = npos;  // the decimal point, if any
  std::size_t Sign = npos;   // the first "+" or "-", if any
  int Decimals = 0;
};

Layout ReadPicture(std::string_view picture) {
  Layout layout;
  const std::size_t last = picture.find_last_of(",.:");
  for (std::size_t i = 0; i < picture.size(); ++i) {
    char c = picture[i];
    Kind kind = Kind::kLiteral;
    if (IsDigitPosition(c)) {
      kind = Kind::kDigit;
      if (layout.Point != npos) ++layout.Decimals;
    } else if (IsSeparator(c)) {
      if (picture.find_first_of("#@", i + 1) == npos) continue;  // dropped
      if (i == last) layout.Point = layout.Chars.size();
      kind = Kind::kSeparator;
    } else if (IsSignMark(c) && layout.Sign == npos) {
      layout.Sign = layout.Chars.size();
      kind = Kind::kSign;
    }
    layout.Chars += c;
    layout.Kinds.push_back(kind);
  }
  return layout;
}

// The decimal digits of a magnitude: the whole part without leading zeros
// ("" for zero) and the fraction.
struct Figures {
  std::string Whole;
  std::string Fraction;
};

// The shortest decimal digits that read back as v (finite, not negative),
// and the power of ten of the first digit. A value that is exactly a double
// below 2^53 is read as the double, so that 1.005 counts as 1.005.
std::string ShortestDigits(long double v, int& exponent) {
  char buffer[64];
  auto d = static_cast<double>(v);
  auto result = v < 0x1p53L && static_cast<long double>(d) == v
                    ? std::to_chars(buffer, std::end(buffer), d, std::chars_format::scientific)
                    : std::to_chars(buffer, std::end(buffer), v, std::chars_format::scientific);
  std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));  // d[.ddd]e±x
  std::size_t e = text.find('e');
  std::string digits(1, text[0]);
  if (e > 1) digits += text.substr(2, e - 2);
  std::string_view power = text.substr(e + 1);
  if (power.front() == '+') power.remove_prefix(1);
  std::from_chars(power.data(), power.data() + power.size(), exponent);
  return digits;
}

// Adds one unit in the last place of a digit string; may add a digit in front.
void Increment(std::string& digits) {
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it != '9') {
      ++*it;
      return;
    }
    *it = '0';
  }
  digits.insert(digits.begin(), '1');
}

// |v| rounded half away from zero to the given number of decimals.
Figures RoundedFigures(long double magnitude, int decimals) {
  int exponent = 0;
  std::string digits = ShortestDigits(magnitude, exponent);
  long long wholeLength = static_cast<long long>(exponent) + 1;
  if (wholeLength < -decimals) return {"", std::string(static_cast<std::size_t>(decimals), '0')};
  if (wholeLength < 0) {
    digits.insert(0, static_cast<std::size_t>(-wholeLength), '0');
    wholeLength = 0;
  }
  auto kept = static_cast<std::size_t>(wholeLength + decimals);
  bool roundUp = kept < digits.size() && digits[kept] >= '5';
  digits.resize(kept, '0');
  if (roundUp) Increment(digits);
  std::size_t split = digits.size() - static_cast<std::size_t>(decimals);
  Figures figures{digits.substr(0, split), digits.substr(split)};
  figures.Whole.erase(0, figures.Whole.find_first_not_of('0'));
  return figures;
}

bool IsZero(const Figures& f) {
  return f.Whole.empty() && f.Fraction.find_first_not_of('0') == npos;
}

// A text that does not fit the picture, right-aligned in the picture's width;
// the width of "*" when not even a short string holds it.
std::string Overflowed(const Layout& layout, std::string text) {
  if (text.size() > kShortMax) return Short(std::string(layout.Chars.size(), '*'));
  if (text.size() < layout.Chars.size()) text.insert(0, layout.Chars.size() - text.size(), ' ');
  return text;
}

char SignChar(const Layout& layout, bool negative) {
  if (negative) return '-';
  return layout.Sign != npos && layout.Chars[layout.Sign] == '+' ? '+' : ' ';
}

std::string WrittenWhole(const Layout& layout, const Figures& f, bool negative) {
  std::string text;
  char sign = SignChar(layout, negative);
  if (sign != ' ') text += sign;
  text += f.Whole.empty() ? std::string("0") : f.Whole;
  if (layout.Point != npos) text.append(1, layout.Chars[layout.Point]).append(f.Fraction);
  return Overflowed(layout, std::move(text));
}

// Moves the sign place (shown blank so far) right over blank digit positions
// and separators and writes the sign there.
void PlaceSign(const Layout& layout, std::string& out, std::size_t sign, bool negative) {
  while (sign + 1 < out.size() && out[sign + 1] == ' ' &&
         (layout.Kinds[sign + 1] == Kind::kDigit || layout.Kinds[sign + 1] == Kind::kSeparator))
    ++sign;
  out[sign] = SignChar(layout, negative);
}

}  // namespace

std::string FormatPicture(std::string_view picture, long double value) {
  const Layout layout = ReadPicture(picture);
  if (std::isnan(value)) return Overflowed(layout, "NAN");
  if (std::isinf(value)) return Overflowed(layout, value < 0 ? "-INF" : "INF");

  const Figures figures = RoundedFigures(std::fabs(value), layout.Decimals);
  const bool negative = value < 0 && !IsZero(figures);
  std::size_t sign = layout.Sign;
  if (negative && sign == npos && !layout.Chars.empty()) sign = 0;

  std::vector<std::size_t> wholeSlots;
  for (std::size_t i = 0; i < layout.Chars.size() && i < layout.Point; ++i)
    if (layout.Kinds[i] == Kind::kDigit && i != sign) wholeSlots.push_back(i);
  const std::string whole = figures.Whole.empty() && !wholeSlots.empty() ? "0" : figures.Whole;
  if (whole.size() > wholeSlots.size()) return WrittenWhole(layout, figures, negative);

  std::string out = layout.Chars;
  std::size_t next = whole.size();
  for (auto it = wholeSlots.rbegin(); it != wholeSlots.rend(); ++it)
    out[*it] = next > 0 ? whole[--next] : (out[*it] == '#' ? ' ' : '0');
  std::size_t decimal = 0;
  for (std::size_t i = layout.Point + 1; layout.Point != npos && i < out.size(); ++i)
    if (layout.Kinds[i] == Kind::kDigit) out[i] = figures.Fraction[decimal++];
  if (sign != npos) out[sign] = ' ';
  for (std::size_t i = 1; i < out.size(); ++i)
    if (layout.Kinds[i] == Kind::kSeparator && out[i - 1] == ' ' && i != sign) out[i] = ' ';
  if (sign != npos) PlaceSign(layout, out, sign, negative);
  return Short(std::move(out));
}

}  // namespace text
