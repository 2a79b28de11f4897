// Shared between the console driver's own files; not for other folders.
#pragma once
#include "console/console.h"

namespace console {
// Sizes the cell buffer after the terminal and resets window, cursor and hold.
void ResetScreen(platform::Terminal& terminal);
}  // namespace console
