// Whole numbers and forint amounts written out in Hungarian words.
#include <cmath>
#include <iterator>

#include "platform/codepage.h"
#include "text/text.h"

namespace text {
namespace {

using namespace platform::literals;

constexpr std::string_view kUnits[10] = {
    "", "egy", "kettö"_cp, "három"_cp, "négy"_cp, "öt"_cp, "hat", "hét"_cp, "nyolc", "kilenc"};
constexpr std::string_view kTens[10] = {"",        "tíz"_cp,  "húsz"_cp, "harminc",  "negyven",
                                        "ötven"_cp, "hatvan", "hetven",  "nyolcvan", "kilencven"};
// The word written after a finished group: thousands, millions, milliards.
constexpr std::string_view kGroupWords[4] = {"", "ezer", "millió"_cp, "milliárd"_cp};

constexpr std::size_t kMaxWordDigits = 12;  // up to 999 999 999 999
constexpr std::size_t kMaxFigures = 18;     // whole parts written in figures below 10^18

int DigitValue(char c) { return c >= '0' && c <= '9' ? c - '0' : 0; }

// The (up to) three characters before position i.
std::string_view ThreeBefore(std::string_view d, std::size_t i) {
  return i >= 3 ? d.substr(i - 3, 3) : d.substr(0, i);
}

// Appends the words of the hundreds digit at position i of group `group`,
// preceded by the finished group's word and the hyphen where they belong.
void AppendHundreds(std::string& r, std::string_view d, std::size_t i, std::size_t group,
                    long double value) {
  if (!r.empty() && ThreeBefore(d, i) != "000" && group < std::size(kGroupWords))
    r += kGroupWords[group];
  std::string_view lastThree = ThreeBefore(d, d.size());
  if (!r.empty() && group == 1 && std::fabs(value) > 2000 && lastThree != "000") r += '-';
  int digit = DigitValue(d[i]);
  if (digit > 1) r += kUnits[digit];
  if (digit > 0) r += "száz"_cp;
}

// Appends the words of the tens digit at position i (a units digit follows).
void AppendTens(std::string& r, std::string_view d, std::size_t i) {
  int digit = DigitValue(d[i]);
  if (d[i + 1] != '0' && digit == 1)
    r += "tizen";
  else if (d[i + 1] != '0' && digit == 2)
    r += "huszon";
  else
    r += kTens[digit];
}

// "Ft"-less words of a whole part given in figures (at least 12 positions),
// or the figures themselves from 10^12 up to below 10^18; "" beyond.
std::string WholeInWords(std::string_view figures, long double value) {
  if (figures.size() <= kMaxWordDigits) return DigitsToWords(figures, value);
  return figures.size() <= kMaxFigures ? std::string(figures) : std::string();
}

// The first character upper-cased by the ASCII rule, "MINUSZ " in front of a
// negative value.
std::string Finish(std::string text, bool negative) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
  return Short(negative ? "MINUSZ " + text : text);
}

}  // namespace

std::string DigitsToWords(std::string_view d, long double value) {
  const std::size_t n = d.size();
  std::size_t first = 0;
  while (first < n && d[first] <= '0') ++first;
  if (n - first > kMaxWordDigits) return {};  // beyond the group words

  std::string r;
  for (std::size_t i = first; i < n; ++i) {
    const std::size_t rem = n - i;
    const std::size_t group = (rem - 1) / 3 + 1;
    if (rem % 3 == 0)
      AppendHundreds(r, d, i, group, value);
    else if (rem % 3 == 2)
      AppendTens(r, d, i);
    else
      r += kUnits[DigitValue(d[i])];
  }
  return Short(r.empty() ? std::string("nulla") : r);
}

std::string NumberWords(long double value) {
  if (!std::isfinite(value)) return {};
  std::string words =
      WholeInWords(FormatPicture("@@@@@@@@@@@@", std::trunc(std::fabs(value))), value);
  return words.empty() ? words : Finish(words, value < 0);
}

std::string AmountWords(long double value) {
  if (!std::isfinite(value)) return {};
  // Rounded to fillér first, so that 1.999 is two forints, not one forint and
  // a hundred fillér.
  std::string figures = FormatPicture("@@@@@@@@@@@@.@@", std::fabs(value));
  std::size_t point = figures.find('.');
  if (point == std::string::npos) return {};  // not even figures fit
  std::string whole = WholeInWords(std::string_view(figures).substr(0, point), value);
  if (whole.empty()) return {};
  std::string hundredths = figures.substr(point + 1);
  std::string text = whole + " Ft";
  if (hundredths != "00") {
    text += ' ' + DigitsToWords(hundredths, 0);
    text += " Fillér"_cp;
  }
  bool zero = figures.find_first_not_of("0.") == std::string::npos;
  return Finish(text, value < 0 && !zero);
}

}  // namespace text
