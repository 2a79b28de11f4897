// The FTP client on POSIX: libcurl's easy interface.
//
// One easy handle per session. Connect logs in with a request that fetches
// nothing; the following operations of the session go over the connection
// that libcurl keeps in the handle's cache. Remote paths become URL paths
// segment by segment, percent-encoded, an absolute path starting with
// "%2F"; libcurl changes to the file's folder in one CWD and then works on
// the file there. The silence limit bounds the connection, every reply, and
// (through a progress watch) every stretch of a request in which too few
// bytes move.
#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <mutex>

#include "platform/fs.h"
#include "platform/ftp.h"
#include "platform/posix/fs_internal.h"

namespace platform {

namespace {

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Windows-style wildcard match without regard to ASCII letter case.
bool WildcardMatch(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
  auto same = [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  };
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

// Collects a listing; one that would pass kMaxListingBytes stops the
// request (a write error).
std::size_t AppendToListing(char* data, std::size_t size, std::size_t count, void* target) {
  auto* listing = static_cast<std::string*>(target);
  if (listing->size() + size * count > kMaxListingBytes) return 0;
  listing->append(data, size * count);
  return size * count;
}

// True when the server refused the folder or the entry (it is not there):
// the change into the folder refused, or the listing refused for good (a
// 5xx reply); as against a request that failed on the way (a lost or
// refused data connection, a 4xx reply, a stall).
bool ServerSaysMissing(CURL* curl, CURLcode code) {
  if (code == CURLE_REMOTE_ACCESS_DENIED || code == CURLE_REMOTE_FILE_NOT_FOUND) return true;
  long reply = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply);
  return code == CURLE_FTP_COULDNT_RETR_FILE && reply >= 500 && reply < 600;
}

// The folder part of a POSIX path ("." when it has none).
std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Watches a request: called by libcurl at least once a second, it stops the
// request once fewer than the minimum have moved for the silence limit,
// when the announced or received size passes the room, or when the caller
// cancels; outcome tells which.
struct Watch {
  int LimitSeconds = 30;
  curl_off_t MovedAtMark = 0;
  std::chrono::steady_clock::time_point Mark;
  std::uint64_t Room = UINT64_MAX;  // for the whole file
  curl_off_t Offset = 0;  // the bytes of the file there before the transfer (REST)
  const std::function<bool()>* Cancel = nullptr;
  FtpResult Outcome = FtpResult::kFailed;

  bool Stopped = false;  // a bound or the cancel ended the transfer

  bool Stop(FtpResult why) {
    Outcome = why;
    Stopped = true;
    return true;
  }
  bool ShouldStop(curl_off_t announced, curl_off_t downloaded, curl_off_t moved) {
    auto now = std::chrono::steady_clock::now();
    if (moved - MovedAtMark >= LimitSeconds * kMinimumBytesPerSecond) {
      MovedAtMark = moved;
      Mark = now;
    }
    // What libcurl announces of a continued download is the whole file or its rest.
    if (static_cast<std::uint64_t>(std::max(announced, downloaded + Offset)) > Room) return Stop(FtpResult::kTooLarge);
    if (Cancel && *Cancel && (*Cancel)()) return Stop(FtpResult::kCancelled);
    return now - Mark >= std::chrono::seconds(LimitSeconds) && Stop(FtpResult::kFailed);
  }
};

int WatchProgress(void* data, curl_off_t announced, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
  return static_cast<Watch*>(data)->ShouldStop(announced, downloaded, downloaded + uploaded) ? 1 : 0;
}

// A download's file: the data written through it, and whether the disk
// refused a write (full, or over the file-size limit: SIGXFSZ is ignored).
struct Sink {
  FILE* File = nullptr;
  bool Refused = false;
};

std::size_t WriteToSink(char* data, std::size_t size, std::size_t count, void* target) {
  auto* sink = static_cast<Sink*>(target);
  std::size_t written = std::fwrite(data, 1, size * count, sink->File);
  if (written != size * count && posix::IsDiskFull(errno)) sink->Refused = true;
  return written;
}

mode_t FileMode() {
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

struct FtpSession::Impl {
  int SilenceSeconds = 30;
  CURL* Curl = nullptr;
  Watch TransferWatch;
  std::string Base;  // "ftp://host:port/"
  std::string User, Password;

  // The URL of a remote path (see the file comment).
  std::string Url(std::string_view path) const {
    std::string url = Base;
    if (!path.empty() && path.front() == '/') {
      url += "%2F";
      path.remove_prefix(1);
    }
    std::size_t start = 0;
    for (;;) {
      std::size_t slash = path.find('/', start);
      std::string_view part = path.substr(start, slash == std::string_view::npos ? path.npos : slash - start);
      if (char* escaped = curl_easy_escape(Curl, part.data(), static_cast<int>(part.size()))) {
        url += escaped;
        curl_free(escaped);
      }
      if (slash == std::string_view::npos) break;
      url += '/';
      start = slash + 1;
    }
    return url;
  }

  // A fresh request on the handle (its connection cache survives the reset).
  void Prepare(const std::string& url) {
    curl_easy_reset(Curl);
    curl_easy_setopt(Curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(Curl, CURLOPT_USERNAME, User.c_str());
    curl_easy_setopt(Curl, CURLOPT_PASSWORD, Password.c_str());
    curl_easy_setopt(Curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(Curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(Curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
    curl_easy_setopt(Curl, CURLOPT_TRANSFERTEXT, 0L);
    // Passive mode: EPSV, then PASV; the data address the server names is
    // ignored in favour of the control connection's.
    curl_easy_setopt(Curl, CURLOPT_FTP_USE_EPSV, 1L);
    curl_easy_setopt(Curl, CURLOPT_FTP_SKIP_PASV_IP, 1L);
    long limit = SilenceSeconds;
    curl_easy_setopt(Curl, CURLOPT_CONNECTTIMEOUT, limit);
    curl_easy_setopt(Curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, limit);
    TransferWatch = Watch{};
    TransferWatch.LimitSeconds = SilenceSeconds;
    TransferWatch.Mark = std::chrono::steady_clock::now();
    curl_easy_setopt(Curl, CURLOPT_XFERINFOFUNCTION, WatchProgress);
    curl_easy_setopt(Curl, CURLOPT_XFERINFODATA, &TransferWatch);
    curl_easy_setopt(Curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(Curl, CURLOPT_BUFFERSIZE, 100L * 1024);
  }

  bool Cancelled = false;  // the last request was stopped by its cancel

  // Runs the prepared request; cancel (may be empty) is watched meanwhile.
  CURLcode Perform(const std::function<bool()>& cancel = {}) {
    TransferWatch.Cancel = &cancel;
    CURLcode code = curl_easy_perform(Curl);
    TransferWatch.Cancel = nullptr;
    Cancelled = code == CURLE_ABORTED_BY_CALLBACK && TransferWatch.Outcome == FtpResult::kCancelled;
    return code;
  }

  // The start of a download: the local path it writes, "" (the call fails)
  // when the session is not connected or the path cannot be resolved.
  std::string LocalTarget(std::string_view localPath) {
    Cancelled = false;
    return Curl && !Base.empty() ? ResolvePath(localPath) : std::string();
  }

  // Receives a remote file into an open file, from the byte resumeFrom on
  // (its bytes before that are in the file already); room bounds the whole
  // file. A transfer that ended early without a bound or the cancel
  // stopping it is kBroken.
  FtpResult Receive(std::string_view remotePath, int fd, std::uint64_t room,
                    const std::function<bool()>& cancel, std::uint64_t resumeFrom = 0) {
    Sink sink{fdopen(fd, "wb")};
    if (!sink.File) {
      close(fd);
      return FtpResult::kFailed;
    }
    Prepare(Url(remotePath));
    TransferWatch.Room = room;
    TransferWatch.Offset = static_cast<curl_off_t>(resumeFrom);
    if (resumeFrom > 0) curl_easy_setopt(Curl, CURLOPT_RESUME_FROM_LARGE, TransferWatch.Offset);
    curl_easy_setopt(Curl, CURLOPT_WRITEFUNCTION, WriteToSink);
    curl_easy_setopt(Curl, CURLOPT_WRITEDATA, &sink);
    bool ok = Perform(cancel) == CURLE_OK;
    if (std::fflush(sink.File) != 0) sink.Refused = sink.Refused || posix::IsDiskFull(errno);
    if (std::fclose(sink.File) != 0) sink.Refused = sink.Refused || posix::IsDiskFull(errno);
    if (sink.Refused) return FtpResult::kNoRoom;
    if (!ok) return TransferWatch.Stopped ? TransferWatch.Outcome : FtpResult::kBroken;
    return FtpResult::kDone;
  }
};

FtpSession::FtpSession(int silenceSeconds) : impl_(std::make_unique<Impl>()) {
  impl_->SilenceSeconds = silenceSeconds > 0 ? silenceSeconds : 1;
}

FtpSession::~FtpSession() { Close(); }

bool FtpSession::Open() {
  GlobalInit();
  if (!impl_->Curl) impl_->Curl = curl_easy_init();
  return impl_->Curl != nullptr;
}

FtpResult FtpSession::Connect(std::string_view host, int port, std::string_view user,
                              std::string_view password, const std::function<bool()>& cancel) {
  impl_->Cancelled = false;
  if (!impl_->Curl) return FtpResult::kFailed;
  impl_->Base = "ftp://" + std::string(host) + ":" + std::to_string(port) + "/";
  impl_->User = user;
  impl_->Password = password;
  impl_->Prepare(impl_->Base);
  curl_easy_setopt(impl_->Curl, CURLOPT_NOBODY, 1L);
  const CURLcode code = impl_->Perform(cancel);
  if (code == CURLE_OK) return FtpResult::kDone;
  if (impl_->Cancelled) return FtpResult::kCancelled;
  // A 530 to USER or PASS.
  return code == CURLE_LOGIN_DENIED ? FtpResult::kRefused : FtpResult::kFailed;
}

FtpFound FtpSession::FindFirst(std::string_view path, std::string& name,
                               const std::function<bool()>& cancel) {
  name.clear();
  impl_->Cancelled = false;
  if (!impl_->Curl || impl_->Base.empty()) return FtpFound::kFailed;
  std::size_t slash = path.rfind('/');
  std::string_view folder = slash == std::string_view::npos ? "" : path.substr(0, slash + 1);
  std::string_view pattern = slash == std::string_view::npos ? path : path.substr(slash + 1);
  std::string listing;
  impl_->Prepare(impl_->Url(folder));
  curl_easy_setopt(impl_->Curl, CURLOPT_DIRLISTONLY, 1L);
  // libcurl may wait a second before the data connection of a request that
  // follows a transfer on the same connection: the listing's connection
  // ends with it, so a download after it logs in anew.
  curl_easy_setopt(impl_->Curl, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(impl_->Curl, CURLOPT_WRITEFUNCTION, AppendToListing);
  curl_easy_setopt(impl_->Curl, CURLOPT_WRITEDATA, &listing);
  CURLcode code = impl_->Perform(cancel);
  if (code != CURLE_OK)
    return ServerSaysMissing(impl_->Curl, code) ? FtpFound::kMissing : FtpFound::kFailed;
  std::size_t start = 0;
  while (start < listing.size()) {
    std::size_t end = listing.find('\n', start);
    if (end == std::string::npos) end = listing.size();
    std::string entry = listing.substr(start, end - start);
    start = end + 1;
    if (!entry.empty() && entry.back() == '\r') entry.pop_back();
    entry = NameOf(entry);  // some servers list "folder/name"
    if (!entry.empty() && WildcardMatch(pattern, entry)) {
      name = entry;
      return FtpFound::kFound;
    }
  }
  return FtpFound::kMissing;
}

bool FtpSession::Cancelled() const { return impl_->Cancelled; }

bool FtpSession::Get(std::string_view remotePath, std::string_view localPath) {
  return Fetch(remotePath, localPath, UINT64_MAX, {}) == FtpResult::kDone;
}

FtpResult FtpSession::Fetch(std::string_view remotePath, std::string_view localPath,
                            std::uint64_t roomBytes, const std::function<bool()>& cancel) {
  std::string target = impl_->LocalTarget(localPath);
  if (target.empty()) return FtpResult::kFailed;
  struct stat st;
  if (stat(target.c_str(), &st) == 0 && posix::RefuseUnwritable(st)) return FtpResult::kFailed;
  if (posix::InUse(target)) return FtpResult::kFailed;  // an open file is not replaced
  std::string temp = FolderOf(target) + "/." + NameOf(target) + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return posix::IsDiskFull(errno) ? FtpResult::kNoRoom : FtpResult::kFailed;
  fchmod(fd, FileMode());
  FtpResult result = impl_->Receive(remotePath, fd, roomBytes, cancel);
  if (result == FtpResult::kBroken) result = FtpResult::kFailed;
  if (result == FtpResult::kDone && rename(temp.c_str(), target.c_str()) != 0) result = FtpResult::kFailed;
  if (result != FtpResult::kDone) unlink(temp.c_str());
  return result;
}

FtpResult FtpSession::FetchPart(std::string_view remotePath, std::string_view partPath,
                                std::uint64_t roomBytes, const std::function<bool()>& cancel) {
  std::string part = impl_->LocalTarget(partPath);
  if (part.empty()) return FtpResult::kFailed;
  int fd = open(part.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, FileMode());
  if (fd < 0) return posix::IsDiskFull(errno) ? FtpResult::kNoRoom : FtpResult::kFailed;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return FtpResult::kFailed;
  }
  const auto have = static_cast<std::uint64_t>(st.st_size);
  if (have > roomBytes) {
    close(fd);
    return FtpResult::kTooLarge;
  }
  return impl_->Receive(remotePath, fd, roomBytes, cancel, have);
}

bool FtpSession::Put(std::string_view localPath, std::string_view remotePath) {
  if (!impl_->Curl || impl_->Base.empty()) return false;
  std::string source = ResolvePath(localPath);
  FILE* in = source.empty() ? nullptr : std::fopen(source.c_str(), "rb");
  if (!in) return false;
  struct stat st;
  bool ok = fstat(fileno(in), &st) == 0 && S_ISREG(st.st_mode);
  if (ok) {
    impl_->Prepare(impl_->Url(remotePath));
    curl_easy_setopt(impl_->Curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(impl_->Curl, CURLOPT_READDATA, in);
    curl_easy_setopt(impl_->Curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(st.st_size));
    ok = impl_->Perform() == CURLE_OK;
  }
  std::fclose(in);
  return ok;
}

void FtpSession::Close() {
  if (impl_->Curl) curl_easy_cleanup(impl_->Curl);
  impl_->Curl = nullptr;
  impl_->Base.clear();
}

}  // namespace platform
