// The parts of the process layer that are the same on every system.
#include "platform/process.h"

#include "platform/process_internal.h"

namespace platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// One argument word starting at line[i] (not a blank); i ends after it.
std::string ArgumentWord(std::string_view line, std::size_t& i) {
  std::string word;
  bool quoted = false;
  while (i < line.size()) {
    std::size_t slashes = 0;
    while (i < line.size() && line[i] == '\\') ++slashes, ++i;
    if (i < line.size() && line[i] == '"') {
      word.append(slashes / 2, '\\');
      if (slashes % 2) {
        word += '"';
        ++i;
      } else if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        word += '"';  // "" inside quotes: one literal quote, still quoted
        i += 2;
      } else {
        quoted = !quoted;
        ++i;
      }
      continue;
    }
    word.append(slashes, '\\');
    if (i >= line.size() || (IsBlank(line[i]) && !quoted)) break;
    word += line[i++];
  }
  return word;
}

}  // namespace

namespace detail {

std::string ProgramWord(std::string_view line, std::size_t& i) {
  std::string word;
  bool quoted = false;
  for (; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') quoted = !quoted;
    else if (IsBlank(c) && !quoted) break;
    else word += c;
  }
  return word;
}

}  // namespace detail

std::string ProgramCommandLine(std::string_view program, std::string_view arguments) {
  std::string line = program.find('"') != std::string_view::npos
                         ? std::string(program)
                         : "\"" + std::string(program) + "\"";
  return line + "  " + std::string(arguments);
}

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  words.push_back(detail::ProgramWord(line, i));
  for (;;) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    words.push_back(ArgumentWord(line, i));
  }
  return words;
}

}  // namespace platform
