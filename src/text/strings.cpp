// Short strings, trimming, filling, centring, heap copies and the number
// reader.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "text/text.h"

namespace text {
namespace {

// Called by the heap-copy routines with their own names; it does nothing and
// is there so that a debugging build can count allocations.
void TraceHook(std::string_view /*routine*/) {}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Skips a run of decimal digits from position i; returns how many there were.
std::size_t SkipDigits(std::string_view s, std::size_t& i) {
  std::size_t start = i;
  while (i < s.size() && IsDigit(s[i])) ++i;
  return i - start;
}

// True when s (blanks already removed) is [sign] digits [. digits] [E [sign] digits]
// with at least one mantissa digit.
bool IsDecimalNumber(std::string_view s) {
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = SkipDigits(s, i);
  if (i < s.size() && s[i] == '.') {
    ++i;
    digits += SkipDigits(s, i);
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (SkipDigits(s, i) == 0) return false;
  }
  return i == s.size();
}

std::string_view StripBlanks(std::string_view s) {
  std::size_t first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::string WithoutTrailing(std::string_view s, std::string_view chars) {
  std::size_t last = s.find_last_not_of(chars);
  return Short(std::string(s.substr(0, last == std::string_view::npos ? 0 : last + 1)));
}

}  // namespace

std::string Short(std::string s) {
  if (s.size() > kShortMax) s.resize(kShortMax);
  return s;
}

std::optional<long double> ReadNumber(std::string_view s) {
  std::string number(StripBlanks(s));
  if (!IsDecimalNumber(number)) return std::nullopt;
  // The syntax is checked above, so strtold only converts; its decimal point
  // is "." in the C locale that the programs run in.
  return std::strtold(number.c_str(), nullptr);
}

long double StrToNumber(std::string_view s) { return ReadNumber(s).value_or(0.0L); }

std::string TrimRight(std::string_view s) { return WithoutTrailing(s, " "); }

std::string TrimByType(std::string_view s, char fieldType) {
  using namespace std::string_view_literals;
  switch (fieldType) {
    case 'C':
    case 'D':
      return WithoutTrailing(s, " \0"sv);
    case 'N':
      return WithoutTrailing(s, "0\0"sv);
    case 'S':
      return ReadNumber(s) == 0.0L ? std::string() : Short(std::string(s));
    default:
      return Short(std::string(s));
  }
}

std::string Replicate(char ch, int n) {
  return std::string(static_cast<std::size_t>(std::clamp(n, 0, int{kShortMax})), ch);
}

std::string PadRight(std::string_view s, int width, char ch) {
  if (width < 1) return {};
  std::string out(s.substr(0, static_cast<std::size_t>(width)));
  out.resize(static_cast<std::size_t>(width), ch);
  return Short(std::move(out));
}

std::string Trim(std::string_view s) { return Short(std::string(StripBlanks(s))); }

std::string Center(std::string_view s, int width) {
  std::string body = TrimRight(s);
  int room = width - static_cast<int>(body.size());
  if (room <= 0) return body;
  return Short(std::string(static_cast<std::size_t>(room / 2), ' ') + body +
               std::string(static_cast<std::size_t>(room - room / 2), ' '));
}

std::string CenterIn(std::string_view s, int width, char ch) {
  if (s.size() >= kShortMax || static_cast<int>(s.size()) >= width) return Short(std::string(s));
  // Built at full width first, so that a width beyond 255 only cuts the end.
  std::string out(static_cast<std::size_t>(width), ch);
  out.replace(static_cast<std::size_t>(width - static_cast<int>(s.size())) / 2, s.size(), s);
  return Short(std::move(out));
}

unsigned char* Stringtoheap(std::string_view s) {
  TraceHook("Stringtoheap");
  std::string body = Short(std::string(s));
  auto* block = new unsigned char[body.size() + 1];
  block[0] = static_cast<unsigned char>(body.size());
  std::memcpy(block + 1, body.data(), body.size());
  return block;
}

void Disposestring(unsigned char* p) {
  TraceHook("Disposestring");
  delete[] p;  // a null pointer is ignored
}

}  // namespace text
