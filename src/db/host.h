// The engine's host: what the engine asks of the program around it. The
// engine draws nothing, reads no keys and ends no program itself; it shows
// its messages, waits and progress, asks whether the user gave up, and ends
// the program through the host in use.
//
// The default host is headless (a tool, a bench, a test without a screen):
// messages go to the standard error stream, nothing waits for a key, and
// the end of the program is std::exit with the code. A program with a
// screen installs the console's host (startup::ConsoleHost) for as long as
// the engine runs, with UseHost.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/scoped_value.h"

namespace db {

// A box or screen part the host shows until it is destroyed (then what it
// covered comes back).
class HostView {
 public:
  virtual ~HostView() = default;
  // Writes text at a column and row counted from 1 inside the view.
  virtual void Write(int column, int row, std::string_view text) = 0;
};

// Which key the host took from the user's input.
enum class KeyTaken { kNone, kEsc, kOther };

class Host {
 public:
  virtual ~Host() = default;

  // The station's name as the program's settings give it; "" for none.
  virtual std::string StationSetting() = 0;
  // The machine's name, which with the process number names a station
  // without a setting.
  virtual std::string MachineName() = 0;

  // A message box of lines split by characters 0, answered with one of the
  // answers' letters: the answer's position from 1, 0 for Esc. With no
  // answers any key closes it (0).
  virtual int Ask(std::string_view message, std::string_view answers) = 0;
  // The report of a fatal end, written where the program's output goes.
  virtual void Report(std::string_view report) = 0;
  // Ends the program with code.
  [[noreturn]] virtual void End(int code) = 0;
  // One line of running output (the repair of stale markers).
  virtual void Line(std::string_view text) = 0;

  // Whether somebody is at the screen who could answer or press a key.
  virtual bool Attended() = 0;
  // Whether a key or other input event is waiting.
  virtual bool InputWaiting() = 0;
  // Takes one waiting input event: which key it was, kNone for no key.
  virtual KeyTaken TakeInput() = 0;

  // The busy box over columns 30..60, from topRow to row 16, drawn in the
  // inverse of the text colour; null when nothing can be shown.
  virtual std::unique_ptr<HostView> ShowBusyBox(int topRow) = 0;
  // The rebuild's screen: a framed window of its own titled title
  // (ownWindow), else title as a line of the current window.
  virtual std::unique_ptr<HostView> ShowRebuild(bool ownWindow, std::string_view title) = 0;
  // A running counter: label on the output's current line; Write(1, 1, n)
  // redraws the number after it.
  virtual std::unique_ptr<HostView> ShowCounter(std::string_view label) = 0;
};

// The host in use: the headless one unless a UseHost says otherwise.
Host& CurrentHost();
// The headless host.
Host& HeadlessHost();

// Ends the program through the host in use; a host whose End returns
// aborts it.
[[noreturn]] void EndProgram(int code);

// Installs a host for its own lifetime; the previous one comes back after.
class UseHost {
 public:
  explicit UseHost(Host& host);

 private:
  platform::ScopedValue<Host*> installed_;
};

}  // namespace db
