// The updater: the suite's network unit (every exchange with the maker's FTP
// server), the status line and the countdown notice that the updater shows
// while it works, the dialogs that find the suite's program folder, the
// update settings, and the updater's main flow.
//
// Texts are code page 852 short strings.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace updater {

// ---- The server ----------------------------------------------------------------
//
// Every server operation opens its own connection (passive mode), does one
// thing, closes it again and returns; files travel as binary (image type).
// The server layout:
//   /letolt/<file>                  files for every customer
//   /letolt/<folder>/<file>         a customer's or an edition's files; in
//                                   such a folder a file "V*.*" names the
//                                   version on offer and "uzenet.txt" holds
//                                   a message for the users
//   /letolt/snav21/<folder>/szlp.zip   uploads

inline constexpr std::string_view kFtpUser = "tormex";
inline constexpr std::string_view kFtpPassword = "vedikolu";
inline constexpr std::string_view kDefaultFtpHost = "ftp.tormex.hu";
inline constexpr int kFtpPort = 21;
inline constexpr int kDefaultStallSeconds = 30;
// The local file that FtpUpload sends.
inline constexpr std::string_view kUploadSource = "d:\\pp\\szlarak\\szlp.zip";

// The server's host name and port: the environment variable
// TORMEX_FTP_SERVER ("host" or "host:port") when it is set and not empty,
// else kDefaultFtpHost and kFtpPort.
std::string FtpServerHost();
int FtpServerPort();
// How long the server may stay silent (while connecting, between replies,
// during a transfer) before the operation fails: the whole seconds of the
// environment variable TORMEX_FTP_STALL_SECONDS when it is a positive
// number, else kDefaultStallSeconds.
int FtpStallSeconds();

// Every "\" replaced by "/".
std::string ToFtpPath(std::string_view path);

// The remote paths of the operations below.
// FtpDownload: "/letolt", then "/" + ToFtpPath(folder) unless folder is
// empty or all blanks (a folder is used whole, trailing blanks included),
// then "/" + fileName.
std::string DownloadPath(std::string_view folder, std::string_view fileName);
// FtpCheckVersion: "letolt/" + ToFtpPath(folder) + "/" + name, relative to
// the login folder.
std::string CheckVersionPath(std::string_view folder, std::string_view name);
// FtpUpload: "/letolt/snav21/" + folder + "/szlp.zip", folder unconverted.
std::string UploadPath(std::string_view folder);

// Downloads fileName from the server folder into the current folder under
// the same name, replacing a file of that name; the local file is complete
// or untouched, and no temporary file stays. The user is told of every
// failure through Ask (TellEnd): no connection "Nincs kapcsolat!"; a login
// that the server refuses "A szerver nem fogadta el a bejelentkezést!"; a missing remote
// file "Nincs " + path + "!" and then, as for a failed transfer, "A másolás
// nem sikerült!"; a file that does not fit on the drive of the current
// folder (announced larger than its free room, grown beyond it, or a write
// refused) "Nincs elég szabad hely a lemezen a letöltéshez!" first. Esc
// typed while connecting, looking the file up or transferring it cancels
// at once: false without a message (the user asked for it). A transfer
// fails as the platform's FTP client says (platform/ftp.h): silent, or
// slower than kMinimumBytesPerSecond, for the stall limit; a listing that
// fails so (or passes its bound) is a failed transfer, never a missing
// file. When the platform has no FTP client at all: false without a
// message.
bool FtpDownload(std::string_view folder, std::string_view fileName);

// How a server operation ended.
enum class Downloaded {
  kDone,
  kNoClient,      // the platform has no FTP client
  kNoConnection,  // no server, or one that stays silent or does not speak FTP
  kLoginRefused,  // the server refused the user or the password
  kNotOnServer,
  kFailed,
  kNoRoom,
  kCancelled,
  kTooLarge,
  kBroken,  // the last: the updater's table of ends has a row for each
};
// The run's exit code for an operation that ended so (kExitDone for kDone;
// no client, no connection and a refused login are all kExitNoConnection).
[[nodiscard]] int ExitCodeOf(Downloaded end);
// Tells the user, through Ask, how an operation on remotePath ended, as
// FtpDownload tells it; nothing for kDone, kNoClient, kTooLarge and
// kCancelled.
void TellEnd(Downloaded end, std::string_view remotePath);
// FtpDownload with the way it ended told apart.
// A file larger than maxBytes (announced so, or grown so) is not kept:
// kTooLarge, and it is left to the caller to tell.
Downloaded FetchFile(std::string_view folder, std::string_view fileName,
                     std::uint64_t maxBytes = UINT64_MAX);
// One attempt at a download that goes on in partName from the bytes already
// there (platform FetchPart), with FetchFile's lookup, bounds and messages.
// A transfer that ended early by the server's or the connection's doing is
// kBroken, told as a failed transfer only when tellBroken; partName keeps
// what arrived whatever the outcome. The caller checks the bytes.
Downloaded FetchFilePart(std::string_view folder, std::string_view fileName, std::string_view partName,
                         std::uint64_t maxBytes, bool tellBroken);

// Uploads kUploadSource to UploadPath(folder). Messages as FtpDownload's.
bool FtpUpload(std::string_view folder);

// markerName := the name of the first file in the server folder matching
// "V*.*" (at most 255 bytes; empty when there is none); when the folder
// holds "uzenet.txt", downloads it to localMessageFile. No connection shows
// CountdownNotice "Nincs internet-kapcsolat!" for 3 seconds, a refused login
// FtpDownload's words for it the same way; nothing else is reported.
void FtpCheckVersion(std::string_view folder, std::string& markerName,
                     std::string_view localMessageFile);

// ---- Status line and countdown notice -------------------------------------------

// What a shown status line saved: the text's column, row and width and the
// 80 characters and attributes of the row before the text was written.
struct StatusRow {
  std::uint8_t Column = 0, Row = 0, Width = 0;
  std::string Chars, Attrs;
};
// Owns a shown status line; empty when none is shown.
using StatusHandle = std::unique_ptr<StatusRow>;

// show: saves the bottom screen row into handle and writes text (cut to 80
// characters; one blank before and after when it has 1 to 78) centred on it
// in the current text attribute; an empty text saves the row and writes
// nothing. !show: puts the saved row back and empties handle (an empty
// handle does nothing). The output state is left as it was. Calls come in
// pairs.
void StatusLine(bool show, std::string_view text, StatusHandle& handle);

// Shows text in a double-framed box on the bottom four rows with the seconds
// left ("  3 másodperc elteltével, vagy bármely billentyű lenyomására
// tovább") until they have run out or a key is pressed; the key is consumed.
// 0 seconds (or fewer) shows the box once for 100 ms. Puts back the screen
// and the output state.
void CountdownNotice(std::int16_t seconds, std::string_view text);

// ---- Finding the suite's program folder --------------------------------------------

// True when folder holds the suite's programs: with withFop folder +
// "\fop.exe" and folder + "\PRG\szamla.exe", otherwise folder +
// "\szamla.exe".
bool ProgramFolderHas(bool withFop, std::string_view folder);

// Lets the user find the program folder with the path chooser ("FOP.EXE" or
// "SZAMLA.EXE"), starting on the current folder's drive, asking "Nem jó!
// Tovább keres?" after a choice that fails ProgramFolderHas. True with the
// folder (no trailing "\"); false with folder empty. The current folder is
// put back, except when the user leaves the chooser without a choice.
bool FindProgramFolder(std::string& folder, bool withFop);

// Lets the user choose "PSZLA.ZIP" from the current folder on. True with the
// chosen file's folder (current folder put back); false with folder empty
// (current folder not put back).
bool ChoosePackageFolder(std::string& folder);

// The drive chooser titled " " + prompt + " : keressük együtt! ", then the
// folder chooser with the prompt from that drive's root. folder := the
// chosen folder; "Nincs!" and an empty folder when none was chosen.
void AskFolderName(std::string& folder, std::string_view prompt);

// ---- The signed manifest ------------------------------------------------------------
//
// Beside each package the server holds ManifestName, the maker's signed word
// on the update: the server folder it belongs to, a release serial that only
// grows, when it was issued and when it expires, and the size and SHA-256 of
// the package and of "unzip.exe". Text, one "key value" line each, in this
// order (README.md):
//   tormex-manifest 1
//   folder ugy/MINTA
//   serial 7
//   issued 2026-12-01T00:00:00Z
//   expires 2027-12-01T00:00:00Z
//   file pszla.zip <size> <sha256, 64 lower-case hex digits>
//   file unzip.exe <size> <sha256>
//   key <key id: the first 8 bytes of the SHA-256 of the signing public key, hex>
//   signature <ECDSA P-256 over SHA-256 of every byte above: r then s, 128 hex digits>
// Each line ends with "\n"; nothing follows the signature line.

inline constexpr std::string_view ManifestName = "pszla.man";
inline constexpr std::uint64_t kManifestMaxBytes = 64 * 1024;

struct ManifestFile {
  std::string Name;
  std::uint64_t Size = 0;
  std::array<std::uint8_t, 32> Sha256{};
};

struct Manifest {
  std::string Folder;
  std::uint64_t Serial = 0;
  std::int64_t Issued = 0, Expires = 0;  // seconds since 1970-01-01 UTC
  std::vector<ManifestFile> Files;
  std::string KeyId;
  // The entry of the file of that name; nullptr when it has none.
  const ManifestFile* File(std::string_view name) const;
};

// A public key the updater trusts: the uncompressed P-256 point (X then Y).
struct UpdateKey {
  std::string_view Role;  // "current" or "backup"
  std::array<std::uint8_t, 64> Point;
};
// The keys built into this program (the build names its keys file; a build
// without one trusts no key and refuses every update).
std::span<const UpdateKey> BuiltInUpdateKeys();
std::string KeyIdOf(const std::array<std::uint8_t, 64>& point);
std::string HexOf(const std::array<std::uint8_t, 32>& digest);
// Seconds since 1970 as "YYYY-MM-DDTHH:MM:SSZ", and back (false when text
// is not a valid time in that form).
std::string FormatUtc(std::int64_t seconds);
[[nodiscard]] bool ParseUtc(std::string_view text, std::int64_t& seconds);

// The codec: every line up to and including "key"; the whole text.
std::string EncodeManifestBody(const Manifest& manifest);
std::string EncodeManifest(const Manifest& manifest, const std::array<std::uint8_t, 64>& signature);
// False when text is not a manifest in the form above; else the fields, the
// length of its signed part and the signature.
[[nodiscard]] bool DecodeManifest(std::string_view text, Manifest& manifest, std::size_t& signedBytes,
                                  std::array<std::uint8_t, 64>& signature);

enum class ManifestCheck { kAccepted, kBadSignature, kOlder, kExpired };
// The updater's checks, in this order: at most kManifestMaxBytes, well
// formed, signed by a built-in key, for folder and naming both files
// (kBadSignature otherwise); a serial not below lastSerial (kOlder); now
// (seconds since 1970 UTC) before its expiry (kExpired).
[[nodiscard]] ManifestCheck CheckManifest(std::string_view text, std::string_view folder,
                                          std::uint64_t lastSerial, std::int64_t now, Manifest& manifest);

// ---- Update settings -----------------------------------------------------------------
//
// Section "FRISSIT" of the program-wide settings store "prog.res". Each field
// is text padded with blanks to its width.

struct UpdateSettings {
  static constexpr int kDateWidth = 20, kPlaceWidth = 200, kVersionWidth = 20,
                       kMessageWidth = 80;
  std::string LastUpdate = std::string(kDateWidth, ' ');      // "frissdatum"
  std::string LastLook = std::string(kDateWidth, ' ');        // "frissnezdatum"
  std::string Source = std::string(kPlaceWidth, ' ');         // "frisshely"
  std::string NetworkVersion = std::string(kVersionWidth, ' ');  // "netver"
  std::string Message = std::string(kMessageWidth, ' ');      // "uzenet"
  // The serial of the last manifest this installation accepted (decimal).
  std::string Release = std::string(kVersionWidth, ' ');      // "kiadas"
};
// The process-wide record.
UpdateSettings& Settings();

// Copies the console's code page mode into the toolkit's output mode; then,
// when both the user's settings file and "prog.res" exist, blanks the record
// and fills each field from its key (a missing key or empty value leaves
// the field blank; a longer value is cut to the field's width). A missing
// file leaves the record untouched.
void LoadUpdateSettings();
// Writes every field at its full width (trailing blanks included) to
// "prog.res", creating the user's settings file and "prog.res" when missing.
void SaveUpdateSettings();
// The serial in the record's "kiadas" (0 when blank or not a number).
std::uint64_t AcceptedRelease();
// Puts serial into the record and writes that one key to "prog.res" (as
// SaveUpdateSettings creates the files); the other keys stay as they are.
void SaveAcceptedRelease(std::uint64_t serial);

// ---- The main flow ---------------------------------------------------------------------
//
// Started from the suite's program folder, the updater asks once whether the
// update may start; on "Igen" it works in the folder WorkFolder under the
// temporary folder: it downloads the package PackageName from the customer's
// server folder and "unzip.exe" from the server's root, runs "unzip.exe -qo
// pszla.zip", checks that FullSetName, "unzip.exe" and "frissit.exe" are
// there and runs the installer "frissit.exe", waiting for it. Every failure
// ends in a message; the flow returns normally.

inline constexpr std::string_view PackageName = "pszla.zip";
inline constexpr std::string_view FullSetName = "szlamind.zip";
inline constexpr std::string_view WorkFolder = "$TEMPRGR";
// The lock file in WorkFolder: one run at a time holds a byte-range lock on
// its first byte while it uses the folder. It stays there between runs.
inline constexpr std::string_view WorkFolderLock = "prgfr.lck";
// The server folder of the default edition (the program's default data
// folder), for a program whose name holds no customer.
inline constexpr std::string_view kDefaultDataFolder = "szla22";

// The work screen: the area of rows 2-24 framed (double line) and shaded
// light grey on black, then the box x1,y1-x2,y2 (absolute, 1-based; x1 = 0
// gives 10,6-70,19) with its shadow when asked, blanked and framed in style
// frameStyle (1..5, any other gives 2), all in the current text attribute.
// The text window is left as the inside of the box.
void OpenWorkWindow(int x1, int y1, int x2, int y2, int frameStyle, bool shadow);

// The system's temporary folder with its trailing separator, when it is at
// most 255 bytes long and a file can be created in it (the probe
// "$OWK.$$$" is created and erased); otherwise "" after a 3-second
// CountdownNotice.
std::string GetTempFolder();

// The server folder of a program's update, from its file name (a path may
// be given): the extension cut out where it first occurs, everything from
// the first blank on dropped, the first "(...)" and then the first "[...]"
// cut out (an opening bracket without its closing one stays), then the
// first five characters dropped; what is left is the customer, giving
// "ugy/" + customer, or kDefaultDataFolder when nothing is left.
// "prgfrMINTA.exe", "prgfrMINTA (2).exe" and "prgfrMINTA[1].exe" give
// "ugy/MINTA"; "prgfr MINTA.exe" and "abcde.exe" give "szla22".
std::string UpdateFolderFor(std::string_view programPath);

// The updater's exit codes: 0 only when the installer ran and succeeded or
// the user declined; otherwise one code per kind of failure (README.md lists
// them). A folder that cannot be entered ends with the system's error
// number instead.
inline constexpr int kExitDone = 0;
// (1, console::kExitNoConsole: no terminal to show the screen on; nothing was done.)
inline constexpr int kExitNoConnection = 20;   // no server, it does not speak FTP, or it refuses the login
inline constexpr int kExitNotOnServer = 21;    // the package or the unpacker is missing there
inline constexpr int kExitTransferFailed = 22; // a transfer broke off, stalled or trickled
inline constexpr int kExitNoRoom = 23;         // the download does not fit on the drive
inline constexpr int kExitCancelled = 24;      // Esc during a transfer
inline constexpr int kExitWorkFolder = 25;     // "$TEMPRGR" unusable: foreign, or old files stay
inline constexpr int kExitIncomplete = 26;     // the package lacks one of the three files
inline constexpr int kExitInstallerFailed = 27;  // the installer failed or did not start
inline constexpr int kExitBusy = 28;           // another run holds WorkFolder
inline constexpr int kExitUnsigned = 29;       // no manifest, or not one the maker signed for this folder
inline constexpr int kExitFileMismatch = 30;   // a download differs from the manifest: erased
inline constexpr int kExitOlderRelease = 31;   // the manifest's serial is below the last one accepted
inline constexpr int kExitExpired = 32;        // the manifest is past its expiry

// The main flow, for the program whose own file is programPath: it paints
// the work screen and asks; on "Igen" it works in the temporary folder (the
// current folder when there is none): creates WorkFolder there and enters it
// - unless it is not the user's own (a symbolic link or another user's
// folder): then it says so and does nothing more -, holds it for the run
// (WorkFolderLock: while another run holds it, it says so and ends with
// kExitBusy; a folder it cannot write in is refused as not its own),
// erases every file that
// an earlier run left and that could stand for one of its files (the
// package, "unzip.exe", FullSetName and "frissit.exe" in any letter case,
// and its unfinished downloads; one that stays ends the run), downloads both
// files (each failure told by FtpDownload), unpacks only when both arrived,
// runs the installer only when its three files are there (otherwise "Nincs
// mind:szlamind.zip unzip.exe frissit.exe") and tells when it fails, erases
// the package and changes to the program's folder. Returns the exit code:
// the first failure's, in the order of the flow; Esc during a download ends
// the run at once (kExitCancelled). A folder that cannot be
// entered ends the program (console::EndProgram) with the error's number.
[[nodiscard]] int RunUpdater(std::string_view programPath);
// The same for the running program (platform::ProgramPath()).
[[nodiscard]] int RunUpdater();

}  // namespace updater
