// The font control: fitting an 80 x 25 window to the screen by the font's
// height, stepping the height with Alt+Up and Alt+Down, centring the window,
// and the control's start and end.
#include <algorithm>
#include <string>

#include "console/internal.h"
#include "platform/codepage.h"
#include "text/text.h"

namespace console {
namespace {

using namespace platform::literals;
using platform::ConsoleRect;
using platform::ConsoleSize;

constexpr std::string_view kDefaultFace = "Lucida Console";
constexpr int kColumns = 80, kRows = 25;

FontState& Font() { return Settings().Font; }
platform::ConsoleFontControl& Control() { return *Font().Control; }

bool Fits(ConsoleSize size) { return size.Columns >= kColumns && size.Rows >= kRows; }

void ShowWholeBuffer() { Control().SetWindowRect({0, 0, kColumns - 1, kRows - 1}); }

// Step 1: the font to start from. A face the console refuses is replaced by
// the face it reports in use.
void ApplyFirstFont(int height) {
  FontState& f = Font();
  if (SetConsoleFont(f.Face, height)) return;
  std::string face;
  int current = 0;
  if (!Control().CurrentFont(face, current)) return;
  f.Face = text::Short(face);
  SetConsoleFont(f.Face, height);
}

// Steps 2 and 3: a first estimate from the largest window at the starting
// height, and the buffer made 80 x 25 under it.
int EstimateHeight(int height) {
  FontState& f = Font();
  ConsoleSize most = Control().LargestWindow();
  height = std::max(std::min(most.Columns * height / 90, most.Rows * height / 27), f.Smallest) - 1;
  SetConsoleFont(f.Face, height);
  ConsoleSize buffer = Control().BufferSize();
  Control().SetWindowRect({0, 0, std::min(kColumns - 1, buffer.Columns - 1), std::min(kRows - 1, buffer.Rows - 1)});
  Control().SetBufferSize(kColumns, kRows);
  ShowWholeBuffer();
  return height;
}

ConsoleSize ApplyAndMeasure(int height) {
  SetConsoleFont(Font().Face, height);
  return Control().LargestWindow();
}

// Step 4: from the estimate, the largest usable height. When the window does
// not fit, the height goes down until the largest window is wider than 80 or
// taller than 25, and the last step is taken back; when it fits with room to
// spare, it goes up while it fits and the last step is taken back. Both
// searches are bounded (smallest usable height, kLargestFontHeight).
int SearchLargestHeight(int height) {
  FontState& f = Font();
  ConsoleSize most = Control().LargestWindow();
  if (!Fits(most)) {
    while (height > f.Smallest) {
      most = ApplyAndMeasure(--height);
      if (most.Columns > kColumns || most.Rows > kRows) break;
    }
    return height + 1;
  }
  if (most.Columns == kColumns || most.Rows == kRows) return height;
  while (height < kLargestFontHeight) {
    if (!Fits(ApplyAndMeasure(++height))) return height - 1;
  }
  return height;
}

}  // namespace

int HeightFromText(std::string_view s) {
  std::optional<long double> n = text::ReadNumber(s);
  if (!n || *n < -32768 || *n > 32767) return 0;
  return static_cast<int>(*n);
}

void SetFontControl(platform::ConsoleFontControl* control) {
  Font().Control = control;
  Font().Ready = false;
}

bool LoadFontControl() {
  FontState& f = Font();
  f.Ready = f.Control && f.Control->Load();
  return f.Ready;
}

bool FontControlReady() { return Font().Ready; }

bool SetConsoleFont(std::string_view face, int height) {
  return Font().Ready && Control().SetFont(std::string(face), height);
}

void FitConsole(int requested, std::string_view title) {
  FontState& f = Font();
  if (!f.Ready) return;
  requested = static_cast<std::int16_t>(requested);
  if (f.Face.empty()) f.Face = kDefaultFace;
  int height = requested > 0 ? requested : f.Smallest;
  ApplyFirstFont(height);
  height = SearchLargestHeight(EstimateHeight(height));
  SetConsoleFont(f.Face, height);
  Control().SetBufferSize(kColumns, kRows);
  ShowWholeBuffer();
  f.Largest = f.Height = height;

  int target = requested == 0 ? height - 1 : requested;
  if (target > 0 && target != height && SetConsoleFont(f.Face, target)) {
    if (Fits(Control().LargestWindow())) {
      f.Height = target;
    } else {
      SetConsoleFont(f.Face, height);
      ShowWholeBuffer();
    }
  }

  std::string shown = title.empty() ? Control().OriginalTitle() : std::string(title);
  Control().SetTitle(shown + std::string(10, ' ') + std::string("Ablakméret: Alt+Up Alt+Down"_cp));
  CentreConsoleWindow();
}

void StepFont(int direction) {
  FontState& f = Font();
  if (!f.Ready || direction == 0) return;
  int height = f.Height + (direction > 0 ? 1 : -1);
  if (height > f.Largest || height < f.Smallest || !SetConsoleFont(f.Face, height)) return;
  f.Height = height;
  SaveStore(kConsoleStore);
}

void CentreConsoleWindow() {
  if (!Font().Ready) return;
  ConsoleRect area, window;
  if (!Control().WorkArea(area) || !Control().WindowRect(window)) return;
  int width = window.Right - window.Left, height = window.Bottom - window.Top;
  Control().MoveWindow(area.Left + (area.Right - area.Left - width) / 2,
                       area.Top + (area.Bottom - area.Top - height) / 2, width, height);
}

void ConsoleStartup() {
  FontState& f = Font();
  if (f.Started) return;
  f.Started = true;
  if (!LoadFontControl()) return;
  Control().Remember();

  OpenStore(kConsoleStore);
  std::string face, size;
  ReadSetting(kConsoleStore, "cmdwindow", "font", face);
  ReadSetting(kConsoleStore, "cmdwindow", "fontsize", size);
  int height = HeightFromText(size);
  if (height > 0 && height < f.Smallest) height = 0;
  f.Face = face;

  Control().SetBufferSize(kColumns, kRows);
  Control().QuickEditOff();
  FitConsole(height, "");
  if (ConsoleOpen()) {
    // The terminal learns its new size from the console's resize event; the
    // driver's screen then follows it (80 x 25 when the buffer took it).
    Term().EventWaiting();
    ResetScreen(Term());
  }
  CentreConsoleWindow();
}

void ConsoleShutdown() {
  FontState& f = Font();
  if (!f.Started) return;
  f.Started = false;
  CloseStore(kConsoleStore);
  if (f.Ready) {
    // The font is put back before the libraries that set it are released.
    Control().Restore();
    Control().Unload();
  }
  f.Ready = false;
}

}  // namespace console
