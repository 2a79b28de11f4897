// Shared by the process layer's files; not for other folders.
#pragma once
#include <string>
#include <string_view>

namespace platform::detail {

// The program word of a command line starting at line[i]: up to the first
// blank or tab outside double quotes, the quotes dropped; i ends after it.
std::string ProgramWord(std::string_view line, std::size_t& i);

}  // namespace platform::detail
