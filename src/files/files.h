// The file and process utilities: running other programs and waiting for
// them, deleting and copying files, the drive chooser, clearing folders,
// the path and folder choosers, and the start-up of this layer.
//
// Names and texts are code page 852 short strings; names and parameters are
// cut to 255 bytes. Paths are Windows-style (platform/fs.h).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/path.h"

namespace platform {
class Terminal;
}

namespace files {

// ---- Running programs ---------------------------------------------------------

// Runs a program or a command of the command interpreter and waits for it;
// the low 16 bits of its exit code. Trailing blanks of parameters and name
// are dropped. The name "CD" (any case) changes the current folder to the
// parameters (retried in Windows-1250) and returns 0 without touching the
// screen. Otherwise the screen is saved and the console handed to the
// child; a name without "." is looked for as name.exe, name.bat, name.com
// in the current folder, then in ProgramFolder. A name found in
// ProgramFolder (it holds a backslash) is started directly by its quoted
// path; any other goes to the command interpreter with "/c ". With
// pauseAfter, "Tovább bármivel..." on row 25 waits for a key. Then the
// console and the screen come back exactly as they were. A start that
// fails returns the previously recorded exit code.
std::uint16_t RunProgram(std::string_view name, std::string_view parameters, bool pauseAfter);
// As RunProgram, but never through the command interpreter: the program
// found is started by its absolute path (so one in the current folder is
// never mistaken for one of the same name in the program's own folder),
// one not found by its name as given. The pause clears row 25 and writes a
// line end before its prompt.
std::uint16_t RunProgramDirect(std::string_view name, std::string_view parameters,
                               bool pauseAfter);
// Splits "program parameters" at the first blank and runs RunProgram
// without a pause. A trailing NUL ends the program afterwards (exit code 0).
void RunCommandLine(std::string_view commandLine);
// RunProgram with no parameters and no pause. A trailing NUL in the name:
// afterwards "Az Enter lenyomása után a program kilép!" waits for a key and
// the program ends (exit code 0).
void RunAndQuit(std::string_view name);
// Asks the shell to open a document or start a program, without waiting.
bool ShellOpen(std::string_view fileName, std::string_view parameters);

// Deletes one file; true when it was deleted. A missing, read-only or busy
// file, or a folder, gives false; nothing is shown.
bool EraseFile(std::string_view fileName);

// Hands the terminal to the system (full-screen output, keys and mouse shut
// down) and takes it back with the screen, window, cursor and attribute as
// they were. AcquireConsole without a release before does nothing.
void ReleaseConsole();
void AcquireConsole();

// ---- Start-up values ------------------------------------------------------------

// The folder part of a path ("C:\x\p.exe" -> "C:\x", "C:\p.exe" -> "C:\",
// "p.exe" -> ""): the platform's (platform/path.h).
using platform::FolderPart;

// The folder of the program's own file (Windows-style), fixed by
// UtilityStartup.
const std::string& ProgramFolder();
// The toolkit's current data folder; ProgramFolder at start-up.
const std::string& DataFolder();
void SetDataFolder(std::string_view folder);
// Today's date as "YYYYMMDD", fixed by UtilityStartup.
const std::string& Today();

// The start-up of this layer, once before the main program: the console
// taken back, the console settings loaded, ProgramFolder and DataFolder
// set, Today fixed, loadUpdateSettings run (may be empty), the toolkit's
// start values (no idle procedure, default button mode off, view mode "1",
// the mouse, the output conversion of the console's code page mode), and
// the text window set to 1,1-80,25.
void UtilityStartup(const std::function<void()>& loadUpdateSettings);

// ---- Drives --------------------------------------------------------------------

// True when the drive of the letter (any case) is present.
bool DrivePresent(char letter);
// The volume label of a drive given as a letter or a root ("C", "C:",
// "C:\"), in code page 852; "" when the system does not tell.
std::string VolumeLabel(std::string_view drive);
// The drive chooser: every present drive with its label and type; the
// chosen drive letter, or 0 for Esc.
char ChooseDrive(std::string_view title);
// The drives that can take files: present, not the current folder's drive,
// A and B always and others only with free space. skipFloppies "B" starts
// the list at C; preselect marks the row selected first. 0 for Esc.
char ChooseTargetDrive(char skipFloppies, char preselect, std::string_view title);
// Free bytes on the drive; 0 when it cannot be entered.
double DriveFreeSpace(char letter);

// ---- Folders -------------------------------------------------------------------

// Deletes every file and subfolder below folder, which stays, empty. folder
// is written as CurrentFolder reports it. Refuses, with a message, when the
// current folder lies in it (its text occurs in the current folder's), when
// it does not exist, and when a file turns up outside it. A link to a
// folder is removed, never followed. False on any refusal or failure (the
// current folder is then back where it was; files deleted stay deleted).
bool ClearFolderTree(std::string_view folder);
// Deletes the plain files of folder, then folder itself; false when a file
// or the folder could not be deleted (a subfolder keeps it).
bool ClearFolder(std::string_view folder);

// ---- Files ---------------------------------------------------------------------

// Results of CopyFileBlocks: a vocabulary of its own, never compared with
// the platform's error numbers.
enum class CopyResult : std::uint8_t { kCopied = 0, kSourceNotOpened = 2, kTargetNotCreated = 3, kDiskFull = 4 };
// Copies by 30 000-byte blocks and gives the target the source's time of
// last writing. A full disk leaves what was written. Other read and write
// errors end the program with the error's number.
[[nodiscard]] CopyResult CopyFileBlocks(std::string_view source, std::string_view target);
// The system's copy, overwriting the target; true on success.
bool CopyFileSystem(std::string_view source, std::string_view target);
// The size of a plain or system file (the low 32 bits), the name matched
// without regard to case; 0 when not found.
std::uint32_t FileSizeByName(std::string_view path);

// ---- Choosers ------------------------------------------------------------------

// Lets the user walk drives and folders, from start (a folder or "X:"; ""
// for the current folder), and pick a file that matches fileMask ("*.*",
// "PSZLA.ZIP"...). The full path of the file, or "" when the user leaves
// with Esc. The current folder is the same afterwards.
std::string ChoosePath(std::string_view start, std::string_view fileMask,
                       std::string_view title);
// The same for a folder: F10 picks the folder shown. The full path, or "".
std::string ChooseFolder(std::string_view start, std::string_view prompt);

// ---- Process-wide state ----------------------------------------------------------

// What ReleaseConsole keeps for AcquireConsole.
struct ReleasedConsole {
  platform::Terminal* Terminal = nullptr;  // nullptr while the console is not released
  int Width = 0, Height = 0;
  std::vector<std::uint16_t> Cells;
  std::uint16_t WindMin = 0, WindMax = 0;
  int CursorX = 1, CursorY = 1;
  std::uint8_t TextAttr = 0x07;
  int CursorShape = 1;
};

struct FilesState {
  std::string ProgramFolder, DataFolder, Today;
  std::uint32_t ExitCode = 0;  // of the last child that ran
  int StartError = 0;          // of the last start that failed (the DOS error code)
  ReleasedConsole Released;
};
FilesState& State();

}  // namespace files
