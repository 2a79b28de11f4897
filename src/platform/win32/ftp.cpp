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
// temporary file; other calls show none, so they must end within the limit
// (an upload: the limit plus the time to send the file at kSlowestUpload).
// A download writes its temporary file through a handle that allows the
// file's deletion, so that a failed or abandoned download is deleted at once
// and leaves no file once the worker lets go of it (at the latest when the
// program ends), even where the stalled call never returns.
#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/ftp.h"

namespace platform {

namespace {

constexpr long long kSlowestUpload = 16 * 1024;  // bytes a second

// The folder part of a Windows path, "." when it has none.
std::string FolderOf(const std::string& path) {
  std::size_t cut = path.find_last_of("\\/:");
  if (cut == std::string::npos) return ".";
  if (path[cut] == ':') return path.substr(0, cut + 1);
  return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}

long long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// One blocking call, shared by the worker that makes it and the thread that
// watches it.
struct Call {
  std::function<bool()> work;
  std::function<void()> cleanupIfAbandoned;  // run by the worker
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false, result = false, abandoned = false;
};

// Reads a remote file into out, chunk by chunk (so the file grows as the
// data comes).
bool Download(HINTERNET connection, const std::string& remote, HANDLE out) {
  HINTERNET file =
      FtpOpenFileA(connection, remote.c_str(), GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
  if (!file) return false;
  char chunk[16384];
  DWORD got = 0, written = 0;
  bool ok = true;
  while (ok && (ok = InternetReadFile(file, chunk, sizeof chunk, &got) != FALSE) && got > 0)
    ok = WriteFile(out, chunk, got, &written, nullptr) && written == got;
  InternetCloseHandle(file);
  return ok;
}

void RunCall(const std::shared_ptr<Call>& call) {
  bool result = call->work();
  std::lock_guard<std::mutex> lock(call->mutex);
  call->done = true;
  call->result = result;
  if (call->abandoned && call->cleanupIfAbandoned) call->cleanupIfAbandoned();
  call->finished.notify_all();
}

}  // namespace

struct FtpSession::Impl {
  int silenceSeconds = 30;
  HINTERNET internet = nullptr;
  HINTERNET connection = nullptr;

  void SetTimeouts() {
    DWORD ms = static_cast<DWORD>(silenceSeconds) * 1000;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                         INTERNET_OPTION_DATA_RECEIVE_TIMEOUT})
      InternetSetOptionA(internet, option, &ms, sizeof ms);
  }

  void CloseHandles() {
    if (connection) InternetCloseHandle(connection);
    if (internet) InternetCloseHandle(internet);
    connection = nullptr;
    internet = nullptr;
  }

  // Runs call->work on a worker thread and waits for it. progress (may be
  // empty) tells how far the call has come; once it has stood still for the
  // limit plus extraSeconds, the session is closed and the result is false.
  bool Watched(const std::shared_ptr<Call>& call, const std::function<long long()>& progress,
               long long extraSeconds = 0) {
    using Clock = std::chrono::steady_clock;
    const auto patience = std::chrono::seconds(silenceSeconds + extraSeconds);
    std::thread(RunCall, call).detach();
    long long seen = progress ? progress() : 0;
    auto since = Clock::now();
    std::unique_lock<std::mutex> lock(call->mutex);
    while (!call->finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return call->done; })) {
      long long now = progress ? progress() : 0;
      if (now != seen) {
        seen = now;
        since = Clock::now();
      } else if (Clock::now() - since >= patience) {
        call->abandoned = true;
        lock.unlock();
        CloseHandles();
        return false;
      }
    }
    return call->result;
  }
};

FtpSession::FtpSession(int silenceSeconds) : impl_(std::make_unique<Impl>()) {
  impl_->silenceSeconds = silenceSeconds > 0 ? silenceSeconds : 1;
}

FtpSession::~FtpSession() { Close(); }

bool FtpSession::Open() {
  if (!impl_->internet)
    impl_->internet = InternetOpenA(nullptr, INTERNET_OPEN_TYPE_DIRECT, nullptr, "", 0);
  if (!impl_->internet) return false;
  impl_->SetTimeouts();
  return true;
}

bool FtpSession::Connect(std::string_view host, int port, std::string_view user,
                         std::string_view password) {
  if (!impl_->internet) return false;
  auto call = std::make_shared<Call>();
  auto connection = std::make_shared<HINTERNET>(nullptr);
  call->work = [internet = impl_->internet, connection, host = std::string(host), port,
                user = std::string(user), password = std::string(password)] {
    *connection = InternetConnectA(internet, host.c_str(), static_cast<INTERNET_PORT>(port),
                                   user.c_str(), password.c_str(), INTERNET_SERVICE_FTP,
                                   INTERNET_FLAG_PASSIVE, 0);
    return *connection != nullptr;
  };
  call->cleanupIfAbandoned = [connection] {
    if (*connection) InternetCloseHandle(*connection);
  };
  if (!impl_->Watched(call, nullptr)) return false;
  impl_->connection = *connection;
  return true;
}

bool FtpSession::FindFirst(std::string_view path, std::string& name) {
  name.clear();
  if (!impl_->connection) return false;
  auto call = std::make_shared<Call>();
  auto found = std::make_shared<std::string>();
  call->work = [connection = impl_->connection, path = std::string(path), found] {
    WIN32_FIND_DATAA data = {};
    HINTERNET search = FtpFindFirstFileA(connection, path.c_str(), &data, 0, 0);
    if (!search) return false;
    *found = data.cFileName;
    InternetCloseHandle(search);
    return true;
  };
  if (!impl_->Watched(call, nullptr)) return false;
  name = *found;
  return true;
}

bool FtpSession::Get(std::string_view remotePath, std::string_view localPath) {
  if (!impl_->connection) return false;
  std::string target(localPath);
  char buffer[MAX_PATH + 1] = {};
  if (!GetTempFileNameA(FolderOf(target).c_str(), "ftp", 0, buffer)) return false;
  std::string temp = buffer;
  HANDLE out = CreateFileA(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                           nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    DeleteFileA(temp.c_str());
    return false;
  }
  auto call = std::make_shared<Call>();
  call->work = [connection = impl_->connection, remote = std::string(remotePath), out] {
    bool ok = Download(connection, remote, out);
    CloseHandle(out);
    return ok;
  };
  bool ok = impl_->Watched(call, [temp] { return FileSize(temp); }) &&
            MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING);
  if (!ok) DeleteFileA(temp.c_str());
  return ok;
}

bool FtpSession::Put(std::string_view localPath, std::string_view remotePath) {
  if (!impl_->connection) return false;
  std::string source(localPath);
  long long size = FileSize(source);
  if (size < 0) return false;
  auto call = std::make_shared<Call>();
  call->work = [connection = impl_->connection, source, remote = std::string(remotePath)] {
    return FtpPutFileA(connection, source.c_str(), remote.c_str(), FTP_TRANSFER_TYPE_BINARY, 0) !=
           FALSE;
  };
  return impl_->Watched(call, nullptr, size / kSlowestUpload);
}

void FtpSession::Close() { impl_->CloseHandles(); }

}  // namespace platform
