// The FTP client on Win32: WinINet.
//
// The silence limit is set as WinINet's connect, send and receive time-outs,
// but WinINet does not keep them everywhere (the connect time-out is known
// to be ignored, and Wine waits for a stalled data connection for ever). So
// every blocking call runs on a worker thread while the calling thread
// watches it: when the call has shown no progress for the limit, the
// session's handles are closed (which makes WinINet give up the call) and
// the call fails at once; the worker is left to finish on its own and then
// only cleans up after itself. The progress of a download is the size of its
// temporary file, which must grow by the limit times kMinimumBytesPerSecond
// in every span of the limit; other calls show none, so they must end within
// the limit (an upload: the limit plus the time to send the file at
// kSlowestUpload). The watch also ends a download that outgrows its room or
// that the caller cancels.
#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ftp.h"
#include "platform/path.h"
#include "platform/win32/file_internal.h"

namespace platform {

namespace {

constexpr long long kSlowestUpload = 16 * 1024;  // bytes a second

// The folder part of a Windows path, "." when it has none.
std::string FolderOf(const std::string& path) {
  std::string folder = FolderPart(path);
  return folder.empty() ? "." : folder;
}

long long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// One blocking call, shared by the worker that makes it and the thread that
// watches it.
struct Call {
  std::function<bool()> Work;
  std::function<void()> CleanupIfAbandoned;  // run by the worker
  std::mutex Mutex;
  std::condition_variable Finished;
  bool Done = false, Result = false, Abandoned = false;
  bool DiskFull = false;  // the call failed for want of room
  DWORD Error = 0;        // the worker's last error when the call failed
};

void RunCall(const std::shared_ptr<Call>& call) {
  bool result = call->Work();
  DWORD error = GetLastError();
  std::lock_guard<std::mutex> lock(call->Mutex);
  call->Done = true;
  call->Result = result;
  call->Error = result ? 0 : error;
  call->DiskFull = !result && win32::IsDiskFull(error);
  if (call->Abandoned && call->CleanupIfAbandoned) call->CleanupIfAbandoned();
  call->Finished.notify_all();
}

// True when a failed listing was the server's word that the entry or its
// folder is not there: an empty match, or a 5xx reply (read on the thread
// that made the call), as against a call that failed on the way. Wine ends
// a listing of a name that its folder lacks without an error number (0).
bool ServerSaysMissing(DWORD error) {
  if (error == ERROR_SUCCESS || error == ERROR_NO_MORE_FILES || error == ERROR_FILE_NOT_FOUND ||
      error == ERROR_PATH_NOT_FOUND)
    return true;
  if (error != ERROR_INTERNET_EXTENDED_ERROR) return false;
  char text[512] = {};
  DWORD code = 0, length = sizeof text - 1;
  return InternetGetLastResponseInfoA(&code, text, &length) && text[0] == '5';
}

// True when a failed connect was the server's refusal of the login (a 530
// to USER or PASS), as against a server that could not be reached.
bool RefusedLogin(DWORD error) {
  return error == ERROR_INTERNET_LOGIN_FAILURE || error == ERROR_INTERNET_INCORRECT_PASSWORD ||
         error == ERROR_INTERNET_INCORRECT_USER_NAME;
}

}  // namespace

struct FtpSession::Impl {
  int SilenceSeconds = 30;
  bool Cancelled = false;  // the last call was stopped by its cancel
  HINTERNET Internet = nullptr;
  HINTERNET Connection = nullptr;

  void SetTimeouts() {
    DWORD ms = static_cast<DWORD>(SilenceSeconds) * 1000;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                         INTERNET_OPTION_DATA_RECEIVE_TIMEOUT})
      InternetSetOptionA(Internet, option, &ms, sizeof ms);
  }

  void CloseHandles() {
    if (Connection) InternetCloseHandle(Connection);
    if (Internet) InternetCloseHandle(Internet);
    Connection = nullptr;
    Internet = nullptr;
  }

  // The first entry that matches path, with its size as the listing gives it.
  FtpFound Find(std::string_view path, std::string& name, long long& size,
                const std::function<bool()>& cancel = {});
  // The size the server announces for a file (the reply to SIZE; WinINet's
  // listing cannot hold every size), -1 when it does not tell.
  long long AnnouncedSize(std::string_view path);

  // Runs call->work on a worker thread and waits for it. progress (may be
  // empty) tells how far the call has come; once it has not moved on by the
  // minimum for the limit plus extraSeconds, once it passes room, or once
  // cancel (may be empty) says so, the session is closed and the call fails
  // with the reason.
  FtpResult Watched(const std::shared_ptr<Call>& call, const std::function<long long()>& progress,
                    long long extraSeconds = 0, std::uint64_t room = UINT64_MAX,
                    const std::function<bool()>& cancel = {}) {
    using Clock = std::chrono::steady_clock;
    const auto patience = std::chrono::seconds(SilenceSeconds + extraSeconds);
    const long long minimum = SilenceSeconds * kMinimumBytesPerSecond;
    std::thread(RunCall, call).detach();
    long long mark = progress ? progress() : 0;
    auto since = Clock::now();
    std::unique_lock<std::mutex> lock(call->Mutex);
    while (!call->Finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return call->Done; })) {
      long long now = progress ? progress() : 0;
      FtpResult stop = FtpResult::kDone;
      if (now - mark >= minimum) {
        mark = now;
        since = Clock::now();
      }
      if (now > 0 && static_cast<std::uint64_t>(now) > room) stop = FtpResult::kTooLarge;
      else if (cancel && cancel()) stop = FtpResult::kCancelled;
      else if (Clock::now() - since >= patience) stop = FtpResult::kFailed;
      if (stop != FtpResult::kDone) {
        call->Abandoned = true;
        lock.unlock();
        CloseHandles();
        Cancelled = stop == FtpResult::kCancelled;
        return stop;
      }
    }
    if (call->Result) return FtpResult::kDone;
    return call->DiskFull ? FtpResult::kNoRoom : FtpResult::kFailed;
  }
};

FtpFound FtpSession::Impl::Find(std::string_view path, std::string& name, long long& size,
                                const std::function<bool()>& cancel) {
  name.clear();
  size = 0;
  if (!Connection) return FtpFound::kFailed;
  auto call = std::make_shared<Call>();
  auto found = std::make_shared<WIN32_FIND_DATAA>();
  auto missing = std::make_shared<bool>(false);
  call->Work = [connection = Connection, path = std::string(path), found, missing] {
    HINTERNET search = FtpFindFirstFileA(connection, path.c_str(), found.get(), 0, 0);
    if (!search) {
      *missing = ServerSaysMissing(GetLastError());
      return false;
    }
    InternetCloseHandle(search);
    return true;
  };
  // A listing shows no progress: it must end within the silence limit.
  if (Watched(call, nullptr, 0, UINT64_MAX, cancel) != FtpResult::kDone) {
    std::lock_guard<std::mutex> lock(call->Mutex);  // an abandoned call never answered
    return call->Done && *missing ? FtpFound::kMissing : FtpFound::kFailed;
  }
  name = found->cFileName;
  size = (static_cast<long long>(found->nFileSizeHigh) << 32) | found->nFileSizeLow;
  return FtpFound::kFound;
}

long long FtpSession::Impl::AnnouncedSize(std::string_view path) {
  if (!Connection) return -1;
  auto call = std::make_shared<Call>();
  auto reply = std::make_shared<std::string>();
  call->Work = [connection = Connection, command = "SIZE " + std::string(path), reply] {
    // The reply is the calling thread's: read where the command was sent.
    for (const char* sent : {"TYPE I", command.c_str()})
      if (!FtpCommandA(connection, FALSE, FTP_TRANSFER_TYPE_BINARY, sent, 0, nullptr)) return false;
    char text[512] = {};
    DWORD error = 0, length = sizeof text - 1;
    if (!InternetGetLastResponseInfoA(&error, text, &length)) return false;
    *reply = text;
    return true;
  };
  if (Watched(call, nullptr) != FtpResult::kDone || reply->rfind("213 ", 0) != 0) return -1;
  return std::strtoll(reply->c_str() + 4, nullptr, 10);
}

FtpSession::FtpSession(int silenceSeconds) : impl_(std::make_unique<Impl>()) {
  impl_->SilenceSeconds = silenceSeconds > 0 ? silenceSeconds : 1;
}

FtpSession::~FtpSession() { Close(); }

bool FtpSession::Open() {
  if (!impl_->Internet)
    impl_->Internet = InternetOpenA(nullptr, INTERNET_OPEN_TYPE_DIRECT, nullptr, "", 0);
  if (!impl_->Internet) return false;
  impl_->SetTimeouts();
  return true;
}

FtpResult FtpSession::Connect(std::string_view host, int port, std::string_view user,
                              std::string_view password, const std::function<bool()>& cancel) {
  impl_->Cancelled = false;
  if (!impl_->Internet) return FtpResult::kFailed;
  auto call = std::make_shared<Call>();
  auto connection = std::make_shared<HINTERNET>(nullptr);
  call->Work = [internet = impl_->Internet, connection, host = std::string(host), port,
                user = std::string(user), password = std::string(password)] {
    *connection = InternetConnectA(internet, host.c_str(), static_cast<INTERNET_PORT>(port),
                                   user.c_str(), password.c_str(), INTERNET_SERVICE_FTP,
                                   INTERNET_FLAG_PASSIVE, 0);
    return *connection != nullptr;
  };
  call->CleanupIfAbandoned = [connection] {
    if (*connection) InternetCloseHandle(*connection);
  };
  const FtpResult result = impl_->Watched(call, nullptr, 0, UINT64_MAX, cancel);
  if (result == FtpResult::kFailed) {
    std::lock_guard<std::mutex> lock(call->Mutex);  // an abandoned call never answered
    return call->Done && RefusedLogin(call->Error) ? FtpResult::kRefused : FtpResult::kFailed;
  }
  if (result != FtpResult::kDone) return result;
  impl_->Connection = *connection;
  return FtpResult::kDone;
}

FtpFound FtpSession::FindFirst(std::string_view path, std::string& name,
                               const std::function<bool()>& cancel) {
  impl_->Cancelled = false;
  long long size = 0;
  return impl_->Find(path, name, size, cancel);
}

bool FtpSession::Cancelled() const { return impl_->Cancelled; }

bool FtpSession::Get(std::string_view remotePath, std::string_view localPath) {
  return Fetch(remotePath, localPath, UINT64_MAX, {}) == FtpResult::kDone;
}

FtpResult FtpSession::Fetch(std::string_view remotePath, std::string_view localPath,
                            std::uint64_t roomBytes, const std::function<bool()>& cancel) {
  impl_->Cancelled = false;
  if (!impl_->Connection) return FtpResult::kFailed;
  if (roomBytes != UINT64_MAX) {
    std::string name;
    long long listed = 0, announced = impl_->AnnouncedSize(remotePath);
    if (announced < 0 && impl_->Find(remotePath, name, listed) == FtpFound::kFound) announced = listed;
    if (announced > 0 && static_cast<std::uint64_t>(announced) > roomBytes) return FtpResult::kTooLarge;
  }
  std::string target(localPath);
  char buffer[MAX_PATH + 1] = {};
  if (!GetTempFileNameA(FolderOf(target).c_str(), "ftp", 0, buffer)) return FtpResult::kFailed;
  std::string temp = buffer;
  auto call = std::make_shared<Call>();
  call->Work = [connection = impl_->Connection, remote = std::string(remotePath), temp] {
    return FtpGetFileA(connection, remote.c_str(), temp.c_str(), FALSE, 0,
                       FTP_TRANSFER_TYPE_BINARY, 0) != FALSE;
  };
  call->CleanupIfAbandoned = [temp] { DeleteFileA(temp.c_str()); };
  FtpResult result = impl_->Watched(call, [temp] { return FileSize(temp); }, 0, roomBytes, cancel);
  if (result == FtpResult::kDone && !MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
    result = FtpResult::kFailed;
  std::lock_guard<std::mutex> lock(call->Mutex);
  // An abandoned worker that still holds the file deletes it again when it ends.
  if (result != FtpResult::kDone) DeleteFileA(temp.c_str());
  return result;
}

namespace {

// Appends the rest of a remote file (from the byte have on) to part, a
// file open for writing at its end. Runs on the worker of call: it stops
// writing as soon as the call is abandoned, so that nothing reaches the
// part file after FetchPart has returned.
bool ReceiveRest(HINTERNET connection, const std::string& remote, std::uint64_t have, HANDLE part,
                 Call& call) {
  if (have > 0) {
    const std::string rest = "REST " + std::to_string(have);
    for (const char* command : {"TYPE I", rest.c_str()})
      if (!FtpCommandA(connection, FALSE, FTP_TRANSFER_TYPE_BINARY, command, 0, nullptr)) return false;
  }
  HINTERNET file = FtpOpenFileA(connection, remote.c_str(), GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
  if (!file) return false;
  std::vector<char> buffer(64 * 1024);
  bool ok = true;
  for (DWORD got = 0; ok; ) {
    ok = InternetReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got) != FALSE;
    if (!ok || got == 0) break;
    std::lock_guard<std::mutex> lock(call.Mutex);
    DWORD written = 0;
    ok = !call.Abandoned && WriteFile(part, buffer.data(), got, &written, nullptr) && written == got;
  }
  InternetCloseHandle(file);
  return ok;
}

}  // namespace

FtpResult FtpSession::FetchPart(std::string_view remotePath, std::string_view partPath,
                                std::uint64_t roomBytes, const std::function<bool()>& cancel) {
  impl_->Cancelled = false;
  if (!impl_->Connection) return FtpResult::kFailed;
  std::string path(partPath);
  // Shared for erasing: a worker abandoned to a stall may hold it for long.
  HANDLE part = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (part == INVALID_HANDLE_VALUE) return win32::IsDiskFull(GetLastError()) ? FtpResult::kNoRoom : FtpResult::kFailed;
  const long long have = FileSize(path);
  if (have < 0 || static_cast<std::uint64_t>(have) > roomBytes) {
    CloseHandle(part);
    return have < 0 ? FtpResult::kFailed : FtpResult::kTooLarge;
  }
  auto call = std::make_shared<Call>();
  Call& shared = *call;
  call->Work = [connection = impl_->Connection, remote = std::string(remotePath), have, part, &shared] {
    return ReceiveRest(connection, remote, static_cast<std::uint64_t>(have), part, shared);
  };
  call->CleanupIfAbandoned = [part] { CloseHandle(part); };
  FtpResult result = impl_->Watched(call, [path] { return FileSize(path); }, 0, roomBytes, cancel);
  std::unique_lock<std::mutex> lock(call->Mutex);
  // An abandoned worker stops at its next write: while data flows it lets
  // go of the part file at once, so that the caller may erase it.
  call->Finished.wait_for(lock, std::chrono::seconds(2), [&] { return call->Done; });
  if (!call->Abandoned) CloseHandle(part);  // an abandoned worker closes it when it ends
  if (result == FtpResult::kFailed && !call->Abandoned) return FtpResult::kBroken;  // ended early on its own
  return result;
}

bool FtpSession::Put(std::string_view localPath, std::string_view remotePath) {
  if (!impl_->Connection) return false;
  std::string source(localPath);
  long long size = FileSize(source);
  if (size < 0) return false;
  auto call = std::make_shared<Call>();
  call->Work = [connection = impl_->Connection, source, remote = std::string(remotePath)] {
    return FtpPutFileA(connection, source.c_str(), remote.c_str(), FTP_TRANSFER_TYPE_BINARY, 0) !=
           FALSE;
  };
  return impl_->Watched(call, nullptr, size / kSlowestUpload) == FtpResult::kDone;
}

void FtpSession::Close() { impl_->CloseHandles(); }

}  // namespace platform
