// ask_bytes: how many bytes reach a real terminal when a message box opens
// and closes over a full screen, against painting and repainting the whole
// screen.
//
// The POSIX terminal (ncurses) runs in a child process on a pseudo-terminal
// (80 x 25, TERM=xterm-256color) that is its controlling terminal, standard
// input and output. The parent reads everything the child writes from the
// master side and counts it per phase. After each phase the child sends a
// marker over a pipe and waits for the parent's answer, so the parent has
// drained the phase's bytes before the next phase starts. The box is closed
// by typing "N" into the master.
//
// Phases: (a) a full screen painted over the blank terminal, (b) a full
// repaint with different content, (c) an Ask box opened over it, (d) the box
// closed.
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/console.h"
#include "platform/codepage.h"
#include "platform/terminal.h"
#include "ui/ui.h"

namespace {

using namespace platform::literals;

struct Pipes {
  int MarkerRead, MarkerWrite, AckRead, AckWrite;
};

// ---- The child: the program on the terminal ------------------------------------

// Tells the parent that a phase is complete and waits until it has counted.
void Mark(const Pipes& p, char phase) {
  if (write(p.MarkerWrite, &phase, 1) != 1) _exit(3);
  char ack;
  if (read(p.AckRead, &ack, 1) != 1) _exit(3);
}

// A screen of words in two colours; a variant of 1 changes every cell's
// character (and keeps the colours).
void PaintScreen(int variant) {
  console::HoldUpdates();
  for (int row = 1; row <= 25; ++row) {
    std::string line;
    for (int column = 1; column <= 80; ++column) {
      bool blank = (column + 3 * variant) % 6 == 0;  // the blanks move too
      line += blank ? ' ' : static_cast<char>('a' + (column * 7 + row * 3 + variant) % 26);
    }
    console::WriteString(1, row, line, row % 2 ? 0x1F : 0x17);
  }
  console::ReleaseUpdates();
}

[[noreturn]] void RunChild(const Pipes& p) {
  auto terminal = platform::MakeNativeTerminal();
  try {
    console::OpenConsole(*terminal);
    ui::InitMouse();
    Mark(p, 'o');
    PaintScreen(0);
    Mark(p, 'a');
    PaintScreen(1);
    Mark(p, 'b');
    bool opened = false;
    ui::SetIdle([&] {
      if (!opened) Mark(p, 'c');
      opened = true;
    }, 1);
    ui::Ask("Program-frissítő letöltése, majd a programfrissítés indulhat?"_cp, "IN");
    Mark(p, 'd');
    console::CloseConsole();
  } catch (const console::ProgramEnd& end) {
    _exit(end.Code);
  }
  _exit(0);
}

// ---- The parent: counting ---------------------------------------------------------

// Reads what the master has until it stays quiet for a while.
long Drain(int master, int quietMs) {
  long total = 0;
  char buffer[4096];
  pollfd fd{master, POLLIN, 0};
  while (poll(&fd, 1, quietMs) > 0) {
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n <= 0) break;
    total += n;
  }
  return total;
}

struct Counts {
  long Phase[128] = {};
};

Counts Measure(int master, const Pipes& p) {
  Counts counts;
  long current = 0;
  char buffer[4096];
  for (;;) {
    pollfd fds[2] = {{master, POLLIN, 0}, {p.MarkerRead, POLLIN, 0}};
    if (poll(fds, 2, 10000) <= 0) break;
    if (fds[0].revents & POLLIN) {
      ssize_t n = read(master, buffer, sizeof buffer);
      if (n > 0) current += n;
    }
    if (!(fds[1].revents & (POLLIN | POLLHUP))) continue;
    char phase;
    if (read(p.MarkerRead, &phase, 1) != 1) break;
    current += Drain(master, 100);
    counts.Phase[static_cast<unsigned char>(phase) & 127] = current;
    current = 0;
    if (write(p.AckWrite, "k", 1) != 1) break;
    if (phase == 'c' && write(master, "N", 1) != 1) break;
    if (phase == 'd') break;
  }
  Drain(master, 100);
  return counts;
}

void Report(const Counts& c) {
  long a = c.Phase['a'], b = c.Phase['b'], open = c.Phase['c'], close = c.Phase['d'];
  std::printf("bytes sent to an 80 x 25 xterm-256color terminal (ncurses)\n");
  std::printf("  start-up (terminal set-up, blank screen)  %7ld\n", c.Phase['o']);
  std::printf("  (a) full screen painted                   %7ld\n", a);
  std::printf("  (b) full repaint, different content       %7ld\n", b);
  std::printf("  (c) Ask box opened over it                %7ld   %5.1f%% of (b)\n", open,
              b ? 100.0 * open / b : 0.0);
  std::printf("  (d) Ask box closed                        %7ld   %5.1f%% of (b)\n", close,
              b ? 100.0 * close / b : 0.0);
  std::printf("  open + close                              %7ld   %5.1f%% of (b)\n", open + close,
              b ? 100.0 * (open + close) / b : 0.0);
}

}  // namespace

int main() {
  int markers[2], acks[2];
  if (pipe(markers) != 0 || pipe(acks) != 0) return 1;
  Pipes p{markers[0], markers[1], acks[0], acks[1]};
  winsize size{};
  size.ws_row = 25;
  size.ws_col = 80;
  int master = -1;
  pid_t child = forkpty(&master, nullptr, nullptr, &size);  // the pty is the child's terminal
  if (child < 0) {
    std::perror("forkpty");
    return 1;
  }
  if (child == 0) {
    setenv("TERM", "xterm-256color", 1);
    close(p.MarkerRead);
    close(p.AckWrite);
    RunChild(p);
  }
  close(p.MarkerWrite);
  close(p.AckRead);
  Counts counts = Measure(master, p);
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "the terminal program failed (status %d)\n", status);
    return 1;
  }
  Report(counts);
  return 0;
}
