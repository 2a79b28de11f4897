// Readable names of the one-byte key codes, for the key-code viewer and logs.
#include <cstdio>

#include "console/console.h"
#include "platform/codepage.h"

namespace console {
namespace {

struct Named {
  std::uint8_t Code;
  const char* Name;
};

constexpr Named kNames[] = {
    {8, "Backspace"}, {9, "Tab"}, {13, "Enter"}, {27, "Esc"}, {0x8F, "Shift+Tab"},
    {0xC7, "Home"}, {0xC8, "Up"}, {0xC9, "PgUp"}, {0xCB, "Left"}, {0xCD, "Right"},
    {0xCF, "End"}, {0xD0, "Down"}, {0xD1, "PgDn"}, {0xD2, "Ins"}, {0xD3, "Del"},
    {0xF2, "Shift+Ins"}, {0xF1, "Ctrl+Ins"}, {0xF7, "Ctrl+Home"}, {0xF3, "Ctrl+Left"},
    {0xF4, "Ctrl+Right"}, {0xF6, "Ctrl+PgDn"}, {0xF8, "Alt+Up"}, {0xF9, "Alt+Down"},
};

// The letters of the Alt+letter codes, by scan code 0x10..0x32 (QWERTZ).
constexpr char kAltLetters[] = "QWERTZUIOP[]\0\0ASDFGHJKL;'`\0\\YXCVBNM";

std::string Numbered(const char* prefix, int n) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%s%d", prefix, n);
  return buf;
}

// The special key a code stands for, or "" when none.
std::string SpecialName(std::uint8_t code) {
  for (const auto& n : kNames)
    if (n.Code == code) return n.Name;
  if (code >= 0xBB && code <= 0xC4) return Numbered("F", code - 0xBB + 1);
  if (code >= 0xD4 && code <= 0xDD) return Numbered("Shift+F", code - 0xD4 + 1);
  if (code >= 0xDE && code <= 0xE7) return Numbered("Ctrl+F", code - 0xDE + 1);
  if (code >= 0x84 && code <= 0x8D) return Numbered("Alt+F", code - 0x84 + 1);
  if (code >= 0xFA && code <= 0xFE) return Numbered("Alt+", code - 0xFA + 1);
  if (code >= 0x90 && code <= 0xB2) {
    char letter = kAltLetters[code - 0x90];
    if (letter) return std::string("Alt+") + letter;
  }
  return "";
}

}  // namespace

std::string KeyName(std::uint8_t code) {
  if (code == 0) return "-";
  if (code < 0x20) {
    std::string special = SpecialName(code);
    return special.empty() ? std::string("Ctrl+") + static_cast<char>('@' + code) : special;
  }
  std::string special = SpecialName(code);
  std::string typed(1, static_cast<char>(code));
  if (special.empty()) return typed;
  // Codes from 0x80 up are special keys and code page 852 characters alike;
  // where the character is a letter, a person may have typed either.
  bool letter = platform::UpperOem(typed) != typed || platform::LowerOem(typed) != typed;
  return letter ? typed + " / " + special : special;
}

}  // namespace console
