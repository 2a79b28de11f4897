#include "child_process.h"

#include <gtest/gtest.h>

#include <chrono>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>

namespace db_test {
namespace {

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (running_) Kill();
}

void Dismiss(ChildProcess& child, const std::string& quitLine, const std::string& farewell,
             int graceMs) {
  if (!::testing::Test::HasFailure()) {
    child.Send(quitLine);
    child.WaitFor(farewell, graceMs);
  }
  child.Kill();
}

std::optional<std::string> ChildProcess::ReadLine(int timeoutMs) {
  std::int64_t end = NowMs() + timeoutMs;
  for (;;) {
    std::size_t at = buffer_.find('\n');
    if (at != std::string::npos) {
      std::string line = buffer_.substr(0, at);
      buffer_.erase(0, at + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      transcript_ += line + "\n";
      return line;
    }
    int left = static_cast<int>(end - NowMs());
    if (left <= 0 || !Fill(left)) return std::nullopt;
  }
}

std::optional<std::string> ChildProcess::WaitFor(const std::string& text, int timeoutMs) {
  std::int64_t end = NowMs() + timeoutMs;
  for (;;) {
    int left = static_cast<int>(end - NowMs());
    if (left <= 0) return std::nullopt;
    auto line = ReadLine(left);
    if (!line) return std::nullopt;
    if (line->find(text) != std::string::npos) return line;
  }
}

int RunToEnd(const std::string& program, const std::vector<std::string>& args, std::string& out,
             int timeoutMs) {
  ChildProcess child;
  out.clear();
  if (!child.Start(program, args)) return -1;
  std::int64_t end = NowMs() + timeoutMs;
  while (auto line = child.ReadLine(static_cast<int>(std::max<std::int64_t>(1, end - NowMs()))))
    out += *line + "\n";
  if (NowMs() >= end) {
    child.Kill();
    return -1;
  }
  return child.Wait();
}

#ifdef _WIN32

namespace {

std::string Quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string q = "\"";
  for (char c : arg) {
    if (c == '"') q += '\\';
    q += c;
  }
  return q + "\"";
}

}  // namespace

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE childIn = nullptr, parentIn = nullptr, parentOut = nullptr, childOut = nullptr;
  if (!CreatePipe(&childIn, &parentIn, &inherit, 0)) return false;
  if (!CreatePipe(&parentOut, &childOut, &inherit, 0)) return false;
  SetHandleInformation(parentIn, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(parentOut, HANDLE_FLAG_INHERIT, 0);
  std::string commandLine = Quoted(program);
  for (const auto& arg : args) commandLine += " " + Quoted(arg);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childIn;
  startup.hStdOutput = childOut;
  startup.hStdError = childOut;
  PROCESS_INFORMATION info{};
  BOOL ok = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                           nullptr, nullptr, &startup, &info);
  CloseHandle(childIn);
  CloseHandle(childOut);
  if (!ok) {
    CloseHandle(parentIn);
    CloseHandle(parentOut);
    return false;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  input_ = parentIn;
  output_ = parentOut;
  running_ = true;
  return true;
}

void ChildProcess::Send(const std::string& line) {
  std::string data = line + "\n";
  DWORD written = 0;
  WriteFile(static_cast<HANDLE>(input_), data.data(), static_cast<DWORD>(data.size()), &written,
            nullptr);
}

bool ChildProcess::Fill(int timeoutMs) {
  std::int64_t end = NowMs() + timeoutMs;
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(static_cast<HANDLE>(output_), nullptr, 0, nullptr, &available, nullptr))
      return false;  // the child ended and its output is read
    if (available > 0) {
      char chunk[4096];
      DWORD got = 0;
      if (!ReadFile(static_cast<HANDLE>(output_), chunk, std::min<DWORD>(available, sizeof chunk),
                    &got, nullptr) ||
          got == 0)
        return false;
      buffer_.append(chunk, got);
      return true;
    }
    if (NowMs() >= end) return false;
    Sleep(2);
  }
}

void ChildProcess::Kill() {
  if (!running_) return;
  TerminateProcess(static_cast<HANDLE>(process_), 137);
  Wait();
}

int ChildProcess::Wait() {
  if (!process_) return -1;
  WaitForSingleObject(static_cast<HANDLE>(process_), INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(static_cast<HANDLE>(process_), &code);
  CloseHandle(static_cast<HANDLE>(process_));
  CloseHandle(static_cast<HANDLE>(input_));
  CloseHandle(static_cast<HANDLE>(output_));
  process_ = input_ = output_ = nullptr;
  running_ = false;
  return static_cast<int>(code);
}

std::string ProgramPath(const std::string& buildPath) {
  if (buildPath.empty() || buildPath[0] != '/') return buildPath;
  std::string path = "Z:" + buildPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

#else

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args) {
  int toChild[2], fromChild[2];
  if (pipe2(toChild, O_CLOEXEC) != 0) return false;
  if (pipe2(fromChild, O_CLOEXEC) != 0) return false;
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    dup2(toChild[0], 0);
    dup2(fromChild[1], 1);
    dup2(fromChild[1], 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);
  pid_ = pid;
  input_ = toChild[1];
  output_ = fromChild[0];
  running_ = true;
  return true;
}

void ChildProcess::Send(const std::string& line) {
  std::string data = line + "\n";
  signal(SIGPIPE, SIG_IGN);
  ssize_t n = write(input_, data.data(), data.size());
  (void)n;
}

bool ChildProcess::Fill(int timeoutMs) {
  pollfd p{output_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return false;
  char chunk[4096];
  ssize_t got = read(output_, chunk, sizeof chunk);
  if (got <= 0) return false;
  buffer_.append(chunk, static_cast<std::size_t>(got));
  return true;
}

void ChildProcess::Kill() {
  if (!running_) return;
  kill(pid_, SIGKILL);
  Wait();
}

int ChildProcess::Wait() {
  if (pid_ < 0) return -1;
  int status = 0;
  waitpid(pid_, &status, 0);
  close(input_);
  close(output_);
  pid_ = input_ = output_ = -1;
  running_ = false;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ProgramPath(const std::string& buildPath) { return buildPath; }

#endif

}  // namespace db_test
