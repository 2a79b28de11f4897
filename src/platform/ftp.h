// The FTP client: one session to one server, opened, used for a few
// operations and closed, as WinINet gives it (Win32: WinINet; POSIX:
// libcurl).
//
// Every transfer is binary (image type) in passive mode. Remote paths are
// the server's: "/letolt/x" is absolute, "letolt/x" relative to the login
// folder; "/" separates (a "\" is sent as it stands). Local paths are the
// library's Windows-style paths (platform/fs.h).
//
// No call can hang on a silent server: connecting, logging in, waiting for a
// reply and a transfer that stops moving fail once the server has been
// silent for the session's silence limit (the call may take up to about
// twice the limit in all, while the client gives up the exchange). Nor on a
// server that trickles: a transfer fails when, in a span of the silence
// limit, fewer than the limit times kMinimumBytesPerSecond bytes have moved.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// The slowest transfer that is let go on (see above).
inline constexpr std::int64_t kMinimumBytesPerSecond = 1024;

// The most a folder listing may bring: a longer one (a server that lists
// without end) fails, as a download fails past its room.
inline constexpr std::size_t kMaxListingBytes = 1 << 20;

// How a look-up of a remote entry ended.
enum class FtpFound {
  kFound,
  kMissing,  // the server answered: no such entry, or no such folder
  kFailed,   // no answer: the connection or the listing's data connection failed,
             // stalled, trickled or was cancelled, or the listing passed kMaxListingBytes
};

// How a connection or a download ended.
enum class FtpResult {
  kDone,
  kFailed,     // the server or the connection failed, or the transfer stalled
  kRefused,    // Connect only: the server answered but refused the user or the password
  kBroken,     // FetchPart only: the transfer ended early, not for a bound (what came is kept)
  kTooLarge,   // announced, or grown, beyond the caller's roomBytes
  kNoRoom,     // the disk refused a write (full, or over the process's file-size limit)
  kCancelled,  // the caller's cancel said so
};

class FtpSession {
 public:
  // silenceSeconds: how long the server may stay silent at any step.
  explicit FtpSession(int silenceSeconds);
  // Closes whatever is still open.
  ~FtpSession();
  FtpSession(const FtpSession&) = delete;
  FtpSession& operator=(const FtpSession&) = delete;

  // Opens the client (direct access, no proxy, no agent name). False when the
  // system cannot give one; nothing else works then.
  bool Open();
  // Connects and logs in: kDone; kRefused when the server refuses the
  // login; kCancelled as soon as cancel (asked several times a second while
  // the call runs; may be empty) returns true; kFailed when the client is
  // not open or the server cannot be reached, stays silent or does not
  // speak FTP.
  [[nodiscard]] FtpResult Connect(std::string_view host, int port, std::string_view user,
                                  std::string_view password, const std::function<bool()>& cancel = {});
  // The first entry of a remote folder whose name matches the last part of
  // path, which may hold the wildcards "*" (any run of characters) and "?"
  // (one character), matched without regard to letter case: "V*.*" matches
  // "V2024.txt" and "v1.2". kMissing only on the server's word; a listing
  // that does not arrive whole is kFailed, never kMissing. cancel as for
  // Connect.
  [[nodiscard]] FtpFound FindFirst(std::string_view path, std::string& name,
                                   const std::function<bool()>& cancel = {});
  // True when the last call of the session ended because its cancel said so.
  bool Cancelled() const;
  // Downloads a remote file to a local file, replacing it. The local file is
  // complete or untouched: the data goes to a temporary file in the same
  // folder, which takes the local name only when the transfer has ended well.
  bool Get(std::string_view remotePath, std::string_view localPath);
  // Get with a bound and a way out: kTooLarge as soon as the server
  // announces more than roomBytes or more than roomBytes have arrived;
  // kNoRoom when the disk refuses a write (full, or over the process's
  // file-size limit);
  // kCancelled as soon as cancel (asked several times a second while the
  // call runs; may be empty) returns true. The local file stays complete or
  // untouched, and no temporary file is left behind.
  [[nodiscard]] FtpResult Fetch(std::string_view remotePath, std::string_view localPath,
                                std::uint64_t roomBytes, const std::function<bool()>& cancel);
  // Continues a download in partPath: the bytes already there stay, and the
  // server is asked (REST) for the rest, which is appended; partPath is
  // created when missing. What arrives is kept whatever the outcome, so that
  // a later call can go on from there. Bounds, cancel and outcomes as for
  // Fetch (roomBytes counts the whole file), but a transfer that ends early
  // by the server's or the connection's doing (not by a bound) is kBroken.
  // Whether the bytes are the remote file's is for the caller to check: a
  // server may ignore REST, and the file may change between calls.
  [[nodiscard]] FtpResult FetchPart(std::string_view remotePath, std::string_view partPath,
                                    std::uint64_t roomBytes, const std::function<bool()>& cancel);
  // Uploads a local file to a remote path (the remote folder must exist).
  // Win32 cannot watch an upload's progress: it fails when it has not ended
  // within the silence limit plus the time to send the file at 16 KiB/s.
  bool Put(std::string_view localPath, std::string_view remotePath);
  // Closes the connection and the client; safe to call more than once.
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
