// The server operations: each opens a session, shows what it does on a
// status line of its own, does its one thing and closes the session.
#include <algorithm>
#include <cstdlib>
#include <functional>

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
    if (console::ReadKeyEvent(event) && event.kind == platform::EventKind::kKey &&
        event.key.scan == platform::scan::kEsc)
      return true;
  return false;
}

enum class Opened { kNoClient, kNoConnection, kCancelled, kConnected };

// The opening steps: the host on the status line, the client opened (on
// failure the status line is removed again), connected and logged in;
// cancel (may be empty) can stop the connecting.
Opened OpenSession(platform::FtpSession& session, StatusHandle& status,
                   const std::function<bool()>& cancel = {}) {
  std::string host = FtpServerHost();
  StatusLine(true, text::Short(host + " ..."), status);
  if (!session.Open()) {
    StatusLine(false, "", status);
    return Opened::kNoClient;
  }
  if (session.Connect(host, FtpServerPort(), kFtpUser, kFtpPassword, cancel)) return Opened::kConnected;
  return session.Cancelled() ? Opened::kCancelled : Opened::kNoConnection;
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

void Tell(std::string_view message) { ui::Ask(text::Short(std::string(message)), ""); }

// One file transfer in a session of its own: "Nincs kapcsolat!" without a
// connection, the status line while move runs, "A másolás nem sikerült!"
// when it fails. Esc typed while connecting cancels (kCancelled); a cancel
// is not told, the user asked for it. kNoConnection without a client or
// connection, else what move gives.
Downloaded Transfer(std::string_view statusText, const std::function<Downloaded(platform::FtpSession&)>& move,
                    bool tellBroken = true) {
  platform::FtpSession session(FtpStallSeconds());
  StatusHandle status;
  Opened opened = OpenSession(session, status, EscTyped);
  if (opened == Opened::kNoClient) return Downloaded::kNoConnection;
  Downloaded result = Downloaded::kCancelled;
  if (opened == Opened::kNoConnection) {
    result = Downloaded::kNoConnection;
    Tell("Nincs kapcsolat!");
  } else if (opened == Opened::kConnected) {
    ShowStatus(statusText, status);
    result = move(session);
    if (result == Downloaded::kNoRoom) Tell("Nincs elég szabad hely a lemezen a letöltéshez!"_cp);
    const bool told = result != Downloaded::kDone && result != Downloaded::kCancelled &&
                      result != Downloaded::kTooLarge && (result != Downloaded::kBroken || tellBroken);
    if (told) Tell("A másolás nem sikerült!"_cp);
  }
  CloseSession(session, status);
  return result;
}

// The free room of the current folder's drive (unbounded when the system
// does not tell).
std::uint64_t FreeRoom() {
  std::uint64_t bytes = 0;
  return platform::DiskFreeSpace(platform::CurrentFolder(), bytes) == 0 ? bytes : UINT64_MAX;
}

Downloaded Outcome(platform::FtpResult result) {
  switch (result) {
    case platform::FtpResult::kDone: return Downloaded::kDone;
    case platform::FtpResult::kNoRoom:
    case platform::FtpResult::kTooLarge: return Downloaded::kNoRoom;
    case platform::FtpResult::kCancelled: return Downloaded::kCancelled;
    case platform::FtpResult::kBroken: return Downloaded::kBroken;
    case platform::FtpResult::kFailed: break;
  }
  return Downloaded::kFailed;
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

namespace {

// The lookup of FetchFile and FetchFilePart, then fetch on the session with
// the room it may fill: "Nincs ...!" for a file that is not there.
Downloaded LookUpAndFetch(platform::FtpSession& session, const std::string& remote, std::uint64_t maxBytes,
                          const std::function<platform::FtpResult(std::uint64_t room)>& fetch) {
  std::string found;
  switch (session.FindFirst(remote, found, EscTyped)) {
    case platform::FtpFound::kFound: {
      // Beyond the free room it does not fit; beyond maxBytes it is too large.
      const std::uint64_t room = FreeRoom();
      platform::FtpResult result = fetch(std::min(room, maxBytes));
      if (result == platform::FtpResult::kTooLarge && maxBytes < room) return Downloaded::kTooLarge;
      return Outcome(result);
    }
    case platform::FtpFound::kFailed:
      return session.Cancelled() ? Downloaded::kCancelled : Downloaded::kFailed;
    case platform::FtpFound::kMissing: break;
  }
  Tell("Nincs " + remote + "!");
  return Downloaded::kNotOnServer;
}

}  // namespace

Downloaded FetchFile(std::string_view folder, std::string_view fileName, std::uint64_t maxBytes) {
  return Transfer("Letöltés ........"_cp, [&](platform::FtpSession& session) {
    const std::string remote = DownloadPath(folder, fileName);
    return LookUpAndFetch(session, remote, maxBytes, [&](std::uint64_t room) {
      return session.Fetch(remote, fileName, room, EscTyped);
    });
  });
}

Downloaded FetchFilePart(std::string_view folder, std::string_view fileName, std::string_view partName,
                         std::uint64_t maxBytes, bool tellBroken) {
  return Transfer(
      "Letöltés ........"_cp,
      [&](platform::FtpSession& session) {
        const std::string remote = DownloadPath(folder, fileName);
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
  return Transfer(text::Short(std::string("Feltöltés "_cp) + std::string(folder) + "........"),
                  [&](platform::FtpSession& session) {
                    return session.Put(kUploadSource, UploadPath(folder)) ? Downloaded::kDone
                                                                          : Downloaded::kFailed;
                  }) == Downloaded::kDone;
}

void FtpCheckVersion(std::string_view folder, std::string& markerName,
                     std::string_view localMessageFile) {
  markerName.clear();
  platform::FtpSession session(FtpStallSeconds());
  StatusHandle status;
  Opened opened = OpenSession(session, status);
  if (opened == Opened::kNoClient) return;
  if (opened == Opened::kNoConnection) {
    CountdownNotice(3, "Nincs internet-kapcsolat!");
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
