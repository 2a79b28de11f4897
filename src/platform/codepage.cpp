#include "platform/codepage.h"

namespace platform {
namespace {

std::string MapBytes(std::string_view in, const std::uint8_t (&table)[256]) {
  std::string out(in);
  for (char& c : out) c = static_cast<char>(table[static_cast<std::uint8_t>(c)]);
  return out;
}

void AppendUtf8(std::string& out, char32_t u) {
  if (u < 0x80) {
    out += static_cast<char>(u);
  } else if (u < 0x800) {
    out += static_cast<char>(0xC0 | (u >> 6));
    out += static_cast<char>(0x80 | (u & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (u >> 12));
    out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (u & 0x3F));
  }
}

}  // namespace

std::string OemToAnsi(std::string_view oem) { return MapBytes(oem, tables::kOemToAnsi); }
std::string AnsiToOem(std::string_view ansi) { return MapBytes(ansi, tables::kAnsiToOem); }
std::string UpperOem(std::string_view oem) { return MapBytes(oem, tables::kUpper852); }
std::string LowerOem(std::string_view oem) { return MapBytes(oem, tables::kLower852); }

std::string Cp852ToUtf8(std::string_view oem) {
  std::string out;
  out.reserve(oem.size() * 2);
  for (char c : oem) {
    auto b = static_cast<std::uint8_t>(c);
    AppendUtf8(out, b < 0x20 ? char32_t{b} : char32_t{Cp852ToUnicode(b)});
  }
  return out;
}

std::string Utf8ToCp852(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    auto b = static_cast<unsigned char>(utf8[i++]);
    char32_t u = b;
    int extra = b < 0x80 ? 0 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
    if (extra < 0) continue;  // stray continuation byte
    u = b & (0x7F >> extra);
    for (int k = 0; k < extra && i < utf8.size(); ++k)
      u = (u << 6) | (static_cast<unsigned char>(utf8[i++]) & 0x3F);
    int c = UnicodeToCp852(u);
    if (c >= 0) out += static_cast<char>(c);
  }
  return out;
}

std::string ArgumentToCp852(std::string_view argument) {
#ifdef _WIN32
  return AnsiToOem(argument);
#else
  return Utf8ToCp852(argument);
#endif
}

void WriteLine(std::FILE* to, std::string_view oem) { (void)TryWriteLine(to, oem); }

bool TryWriteLine(std::FILE* to, std::string_view oem) {
  bool written = std::fprintf(to, "%s\n", Cp852ToUtf8(oem).c_str()) >= 0;
  return std::fflush(to) == 0 && written && std::ferror(to) == 0;
}

}  // namespace platform
