// Child programs: starting one by a Windows command line and waiting for it,
// the command interpreter, the environment, and the shell's "open".
//
// A command line is one Windows-style string. Win32 hands it to
// CreateProcessA. POSIX emulates that:
//  - the line is split into words by the Windows C runtime's rules
//    (SplitCommandLine), so the child sees what a Windows child would;
//  - the program (the first word) is found as CreateProcessA finds it: a
//    name with a folder through ResolvePath (letter case does not matter);
//    a bare name in the program's own folder, the current folder, then the
//    PATH folders, each time as written and, without an extension, with
//    ".exe" added;
//  - a file named *.exe, *.com or *.bat is a program, as on Windows: it gets
//    its owner's execute bit before it starts (a download never carries
//    one); a batch file (*.bat) runs through /bin/sh, as Windows runs it
//    through its interpreter; any other file that the system cannot
//    execute (no binary and no "#!" line, an empty file) does not start
//    (kBadProgram, as Windows refuses it): it never falls back to a shell;
//  - the exit code is the child's exit status; a child killed by a signal
//    gives 128 + the signal's number, as a shell reports it.
// The caller's environment, current folder, terminal and standard handles
// go to the child. While the parent waits, Ctrl+C and Ctrl+Break reach the
// child only; the parent goes on when it ends.
//
// Failures are the error numbers of platform/errors.h (kFileNotFound,
// kAccessDenied, kBadProgram...); 0 is success.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The command line that starts program with arguments: program in double
// quotes unless it already holds one, two blanks, then arguments.
std::string ProgramCommandLine(std::string_view program, std::string_view arguments);

// Starts ProgramCommandLine(program, arguments) and waits without a time-out
// for the process to end. 0 and its exit code (taken as 0xFFFFFFFF when the
// wait fails), or the error number when no process started (exitCode is
// then left as it was).
int StartAndWait(std::string_view program, std::string_view arguments, std::uint32_t& exitCode);

// Has the command interpreter run one command and waits for it, as
// StartAndWait does. The interpreter is the program named by the
// environment variable "comspec", started with "/c " + command. POSIX
// without "comspec": /bin/sh -c command, where a first word that names a
// file of the current folder (any letter case) is that file, as the Windows
// interpreter finds it there first.
int RunCommand(std::string_view command, std::uint32_t& exitCode);

// The value of an environment variable, the name compared without regard to
// letter case (the first match); "" when missing.
std::string GetEnvironment(std::string_view name);

// The words of a command line by the Windows C runtime's rules. The first
// word (the program) ends at the first blank or tab outside double quotes,
// and its quotes are dropped. In the other words: blanks and tabs separate
// words outside quotes; a double quote opens or closes a quoted part; 2n
// backslashes before a double quote give n backslashes and the quote
// opens or closes; 2n + 1 give n backslashes and a literal quote; inside a
// quoted part two double quotes give one literal quote; other backslashes
// stay as they are.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// Asks the shell to open a file (a document with its application, or a
// program with parameters) without waiting; true when it was handed over.
// Win32: ShellExecuteA "open", shown normally. POSIX: xdg-open with the
// file, in the background; false when xdg-open is missing.
bool ShellOpen(std::string_view file, std::string_view parameters);

// The one-key pause after a child, on the console that the full-screen
// layer has handed back to the system (the child's output stays visible):
// the cursor goes to column 1 of row 25; with newLineFirst that row is
// cleared to its end and a line end written; then prompt (code page 852)
// is written and one key press awaited. Without a console it returns at
// once.
void PauseOnPlainConsole(std::string_view prompt, bool newLineFirst);

}  // namespace platform
