// The server operations: each opens a session, shows what it does on a
// status line of its own, does its one thing and closes the session.
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iterator>

#include "console/console.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/ftp.h"
#include "platform/process.h"
#include "text/text.h"
#include "ui/ui.h"
#include "updater/updater.h"

using namespace platform::literals;

namespace updater {

namespace {

// TORMEX_FTP_SERVER, empty when not set.
std::string ServerSetting() {
  return platform::GetEnvironment("TORMEX_FTP_SERVER");
}

// True when Esc is among the keys typed meanwhile; the others are dropped.
bool EscTyped() {
  platform::Event event;
  while (console::ConsoleOpen() && console::KeyPressed())
    if (console::ReadKeyEvent(event) && event.Kind == platform::EventKind::kKey &&
        event.Key.Scan == platform::scan::kEsc)
      return true;
  return false;
}

constexpr std::string_view kCopyFailed = "A másolás nem sikerült!"_cp;

// How each end of a server operation is told and what exit code it gives
// the run: the one place where an end becomes words and a number. Message
// is told first ("" for none; "{}" in it stands for the remote path), then
// kCopyFailed when CopyFailed.
struct EndOfTransfer {
  Downloaded End;
  std::string_view Message;
  bool CopyFailed;
  int ExitCode;
};
constexpr EndOfTransfer kEnds[] = {
    {Downloaded::kDone, "", false, kExitDone},
    {Downloaded::kNoClient, "", false, kExitNoConnection},
    {Downloaded::kNoConnection, "Nincs kapcsolat!", false, kExitNoConnection},
    {Downloaded::kLoginRefused, "A szerver nem fogadta el a bejelentkezést!"_cp, false, kExitNoConnection},
    {Downloaded::kNotOnServer, "Nincs {}!", true, kExitNotOnServer},
    {Downloaded::kFailed, "", true, kExitTransferFailed},
    {Downloaded::kNoRoom, "Nincs elég szabad hely a lemezen a letöltéshez!"_cp, true, kExitNoRoom},
    {Downloaded::kCancelled, "", false, kExitCancelled},      // the user asked for it
    {Downloaded::kTooLarge, "", false, kExitTransferFailed},  // the caller tells what it means
    {Downloaded::kBroken, "", true, kExitTransferFailed},
};

// Every end has its row, at its own number: no end can fall through to
// another's words or exit code.
constexpr bool RowsInEndOrder() {
  for (std::size_t i = 0; i < std::size(kEnds); ++i)
    if (kEnds[i].End != static_cast<Downloaded>(i)) return false;
  return std::size(kEnds) == static_cast<std::size_t>(Downloaded::kBroken) + 1;
}
static_assert(RowsInEndOrder());

const EndOfTransfer& RowOf(Downloaded end) { return kEnds[static_cast<std::size_t>(end)]; }

void Tell(std::string_view message) { ui::Ask(text::Short(std::string(message)), ""); }

// How a connect ended, as a download's end.
Downloaded ConnectEnd(platform::FtpResult result) {
  switch (result) {
    case platform::FtpResult::kDone: return Downloaded::kDone;
    case platform::FtpResult::kRefused: return Downloaded::kLoginRefused;
    case platform::FtpResult::kCancelled: return Downloaded::kCancelled;
    default: return Downloaded::kNoConnection;
  }
}

// The opening steps: the host on the status line, the client opened (on
// failure the status line is removed again: kNoClient), connected and
// logged in (kDone); cancel (may be empty) can stop the connecting.
Downloaded OpenSession(platform::FtpSession& session, StatusHandle& status,
                       const std::function<bool()>& cancel = {}) {
  std::string host = FtpServerHost();
  StatusLine(true, text::Short(host + " ..."), status);
  if (!session.Open()) {
    StatusLine(false, "", status);
    return Downloaded::kNoClient;
  }
  return ConnectEnd(session.Connect(host, FtpServerPort(), kFtpUser, kFtpPassword, cancel));
}

// The closing steps of FtpDownload and FtpUpload.
void CloseSession(platform::FtpSession& session, StatusHandle& status) {
  StatusLine(false, "", status);
  StatusLine(true, "Kapcsolat bontása"_cp, status);
  session.Close();
  StatusLine(false, "", status);
}

void ShowStatus(std::string_view text, StatusHandle& status) {
  StatusLine(false, "", status);
  StatusLine(true, text, status);
}

// One transfer of remote in a session of its own: the status line while
// move runs, and its end told (TellEnd; a broken transfer only when
// tellBroken). Esc typed while connecting cancels (kCancelled).
Downloaded Transfer(std::string_view statusText, std::string_view remote,
                    const std::function<Downloaded(platform::FtpSession&)>& move, bool tellBroken = true) {
  platform::FtpSession session(FtpStallSeconds());
  StatusHandle status;
  Downloaded result = OpenSession(session, status, EscTyped);
  if (result == Downloaded::kNoClient) return result;
  if (result == Downloaded::kDone) {
    ShowStatus(statusText, status);
    result = move(session);
  }
  if (result != Downloaded::kBroken || tellBroken) TellEnd(result, remote);
  CloseSession(session, status);
  return result;
}

// The free room of the current folder's drive (unbounded when the system
// does not tell).
std::uint64_t FreeRoom() {
  std::uint64_t bytes = 0;
  return platform::DiskFreeSpace(platform::CurrentFolder(), bytes) == 0 ? bytes : UINT64_MAX;
}

// How a download ended.
Downloaded FetchEnd(platform::FtpResult result) {
  switch (result) {
    case platform::FtpResult::kDone: return Downloaded::kDone;
    case platform::FtpResult::kNoRoom:
    case platform::FtpResult::kTooLarge: return Downloaded::kNoRoom;
    case platform::FtpResult::kCancelled: return Downloaded::kCancelled;
    case platform::FtpResult::kBroken: return Downloaded::kBroken;
    default: return Downloaded::kFailed;
  }
}

}  // namespace

std::string FtpServerHost() {
  std::string setting = ServerSetting();
  if (setting.empty()) return std::string(kDefaultFtpHost);
  return setting.substr(0, setting.find(':'));
}

int FtpServerPort() {
  std::string setting = ServerSetting();
  std::size_t colon = setting.find(':');
  if (colon == std::string::npos) return kFtpPort;
  int port = std::atoi(setting.c_str() + colon + 1);
  return port > 0 && port < 65536 ? port : kFtpPort;
}

int FtpStallSeconds() {
  int seconds = std::atoi(platform::GetEnvironment("TORMEX_FTP_STALL_SECONDS").c_str());
  return seconds > 0 ? seconds : kDefaultStallSeconds;
}

std::string ToFtpPath(std::string_view path) {
  std::string result(path);
  for (char& c : result)
    if (c == '\\') c = '/';
  return result;
}

std::string DownloadPath(std::string_view folder, std::string_view fileName) {
  std::string path = "/letolt/";
  if (!text::TrimRight(folder).empty()) path.append(ToFtpPath(folder)).append("/");
  return text::Short(path.append(fileName));
}

std::string CheckVersionPath(std::string_view folder, std::string_view name) {
  return text::Short("letolt/" + ToFtpPath(folder) + "/" + std::string(name));
}

std::string UploadPath(std::string_view folder) {
  return text::Short("/letolt/snav21/" + std::string(folder) + "/szlp.zip");
}

int ExitCodeOf(Downloaded end) { return RowOf(end).ExitCode; }

void TellEnd(Downloaded end, std::string_view remotePath) {
  const EndOfTransfer& row = RowOf(end);
  if (!row.Message.empty()) {
    std::string message(row.Message);
    if (std::size_t at = message.find("{}"); at != std::string::npos) message.replace(at, 2, remotePath);
    Tell(message);
  }
  if (row.CopyFailed) Tell(kCopyFailed);
}

namespace {

// The lookup of FetchFile and FetchFilePart (kNotOnServer for a file that
// is not there), then fetch on the session with the room it may fill.
Downloaded LookUpAndFetch(platform::FtpSession& session, const std::string& remote, std::uint64_t maxBytes,
                          const std::function<platform::FtpResult(std::uint64_t room)>& fetch) {
  std::string found;
  switch (session.FindFirst(remote, found, EscTyped)) {
    case platform::FtpFound::kFound: {
      // Beyond the free room it does not fit; beyond maxBytes it is too large.
      const std::uint64_t room = FreeRoom();
      platform::FtpResult result = fetch(std::min(room, maxBytes));
      if (result == platform::FtpResult::kTooLarge && maxBytes < room) return Downloaded::kTooLarge;
      return FetchEnd(result);
    }
    case platform::FtpFound::kFailed:
      return session.Cancelled() ? Downloaded::kCancelled : Downloaded::kFailed;
    case platform::FtpFound::kMissing: break;
  }
  return Downloaded::kNotOnServer;
}

}  // namespace

Downloaded FetchFile(std::string_view folder, std::string_view fileName, std::uint64_t maxBytes) {
  const std::string remote = DownloadPath(folder, fileName);
  return Transfer("Letöltés ........"_cp, remote, [&](platform::FtpSession& session) {
    return LookUpAndFetch(session, remote, maxBytes, [&](std::uint64_t room) {
      return session.Fetch(remote, fileName, room, EscTyped);
    });
  });
}

Downloaded FetchFilePart(std::string_view folder, std::string_view fileName, std::string_view partName,
                         std::uint64_t maxBytes, bool tellBroken) {
  const std::string remote = DownloadPath(folder, fileName);
  return Transfer(
      "Letöltés ........"_cp, remote,
      [&](platform::FtpSession& session) {
        return LookUpAndFetch(session, remote, maxBytes, [&](std::uint64_t room) {
          return session.FetchPart(remote, partName, room, EscTyped);
        });
      },
      tellBroken);
}

bool FtpDownload(std::string_view folder, std::string_view fileName) {
  return FetchFile(folder, fileName) == Downloaded::kDone;
}

bool FtpUpload(std::string_view folder) {
  const std::string remote = UploadPath(folder);
  return Transfer(text::Short(std::string("Feltöltés "_cp) + std::string(folder) + "........"), remote,
                  [&](platform::FtpSession& session) {
                    return session.Put(kUploadSource, remote) ? Downloaded::kDone : Downloaded::kFailed;
                  }) == Downloaded::kDone;
}

void FtpCheckVersion(std::string_view folder, std::string& markerName,
                     std::string_view localMessageFile) {
  markerName.clear();
  platform::FtpSession session(FtpStallSeconds());
  StatusHandle status;
  const Downloaded opened = OpenSession(session, status);
  if (opened == Downloaded::kNoClient) return;
  if (opened == Downloaded::kNoConnection) {
    CountdownNotice(3, "Nincs internet-kapcsolat!");
  } else if (opened == Downloaded::kLoginRefused) {
    CountdownNotice(3, RowOf(opened).Message);
  } else {
    std::string found;
    using platform::FtpFound;
    if (session.FindFirst(CheckVersionPath(folder, "V*.*"), found) == FtpFound::kFound)
      markerName = text::Short(found);
    std::string message = CheckVersionPath(folder, "uzenet.txt");
    if (session.FindFirst(message, found) == FtpFound::kFound) session.Get(message, localMessageFile);
  }
  session.Close();
  StatusLine(false, "", status);
}

}  // namespace updater
