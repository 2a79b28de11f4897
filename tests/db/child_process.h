// Other stations for the tests: programs started as separate processes,
// their standard input and output piped, lines sent and read with a
// time-out. Standard error goes with the output.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace db_test {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();  // kills a child still running
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Start(const std::string& program, const std::vector<std::string>& args);
  void Send(const std::string& line);  // a line end is added
  // The next line of output without its end; nullopt after timeoutMs or at
  // the end of the output.
  std::optional<std::string> ReadLine(int timeoutMs);
  // Reads lines until one contains text; that line, or nullopt in time.
  std::optional<std::string> WaitFor(const std::string& text, int timeoutMs);
  // Ends the child at once, as a crash would.
  void Kill();
  // Waits for the end; the exit code (-1 when it could not be had).
  int Wait();
  // Every line read so far.
  const std::string& Transcript() const { return transcript_; }

 private:
  bool Fill(int timeoutMs);  // more output into buffer_; false at the end or time-out
  std::string buffer_, transcript_;
#ifdef _WIN32
  void* process_ = nullptr;
  void* input_ = nullptr;
  void* output_ = nullptr;
#else
  int pid_ = -1, input_ = -1, output_ = -1;
#endif
  bool running_ = false;
};

// Ends a child in a test's teardown: asked to leave with quitLine and
// given graceMs to answer with a line holding farewell, then killed. When
// the running test has already failed, the child (which may be waiting on
// something the failed test never gave it) is killed at once, so that the
// failure is reported in seconds, not at the suite's time-out.
void Dismiss(ChildProcess& child, const std::string& quitLine, const std::string& farewell,
             int graceMs = 5000);

// Runs a program to its end; its exit code, its output in out (-1 when it
// did not end within timeoutMs: it is then killed).
int RunToEnd(const std::string& program, const std::vector<std::string>& args, std::string& out,
             int timeoutMs = 60000);

// A build-time path of a program, as this process can start it (under Wine
// a Linux path becomes one of drive Z:).
std::string ProgramPath(const std::string& buildPath);

}  // namespace db_test
