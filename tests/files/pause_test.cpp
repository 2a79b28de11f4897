// The pause after a child: on the console that the child had, the prompt
// on row 25 and one key. POSIX runs the program in a pseudo-terminal and
// reads what it writes there.
#include "files_fixture.h"
#include "platform/codepage.h"

#ifndef _WIN32
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace {

using namespace platform::literals;

class PauseTest : public FilesTest {
 protected:
  // Runs run() in a child on a new pseudo-terminal. Reads the terminal
  // until `until` shows, checks that the child still waits, types a key and
  // gives the child's exit status (-1 on a time-out) and what it wrote.
  int InTerminal(const std::function<int()>& run, const std::string& until, std::string& output) {
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) return -1;
    if (pid == 0) {
      int code = 100;
      try {
        code = run();
      } catch (...) {
      }
      _exit(code);
    }
    bool seen = ReadUntil(master, until, output);
    int status = 0;
    bool waiting = seen && waitpid(pid, &status, WNOHANG) == 0;
    EXPECT_TRUE(waiting) << "the program did not wait for a key";
    if (waiting) {
      usleep(100 * 1000);
      EXPECT_EQ(write(master, "x", 1), 1);
    }
    if (!seen) kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    close(master);
    return seen && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  static bool ReadUntil(int fd, const std::string& text, std::string& output) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (output.find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buffer[512];
      ssize_t n = read(fd, buffer, sizeof buffer);
      if (n <= 0) return false;
      output.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
  }
};

const std::string kPrompt = platform::Cp852ToUtf8("Tovább bármivel..."_cp);

TEST_F(PauseTest, RunProgramPromptsOnRow25AfterTheChildsOutput) {
  Install("prog.exe", Prog());
  std::string output;
  int code = InTerminal([] { return files::RunProgram("prog", "print=hallo exit=5", true); },
                        kPrompt, output);
  EXPECT_EQ(code, 5);
  std::size_t child = output.find("hallo"), prompt = output.find("\x1b[25;1H" + kPrompt);
  EXPECT_NE(prompt, std::string::npos) << output;
  EXPECT_LT(child, prompt);
}

TEST_F(PauseTest, RunProgramDirectClearsTheRowAndStartsANewLine) {
  Install("prog.exe");
  std::string output;
  int code = InTerminal([] { return files::RunProgramDirect("prog", "", true); }, kPrompt, output);
  EXPECT_EQ(code, 0);
  std::erase(output, '\r');  // the terminal turns a line end into CR LF itself
  EXPECT_NE(output.find("\x1b[25;1H\x1b[K\n" + kPrompt), std::string::npos) << output;
}

}  // namespace
#endif
