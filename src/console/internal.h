// Shared between the console driver's own files; not for other folders.
#pragma once
#include "console/console.h"

namespace console {
// Sizes the cell buffer after the terminal and resets window, cursor and hold.
void ResetScreen(platform::Terminal& terminal);
// A font height written in a settings store: a 16-bit number (the whole
// part), 0 when the text is not one.
int HeightFromText(std::string_view s);
}  // namespace console
