// Hashing and signature checking, by the system's own cryptography: CNG
// (bcrypt) on Win32, OpenSSL's libcrypto on POSIX. Nothing here implements
// an algorithm; both halves give the same results for the same bytes.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace platform {

using Sha256Digest = std::array<std::uint8_t, 32>;

// An incremental SHA-256.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Add(const void* bytes, std::size_t count);
  [[nodiscard]] Sha256Digest Finish();  // once; the object is spent afterwards

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

[[nodiscard]] Sha256Digest Sha256Of(std::string_view bytes);

// The SHA-256 and size of a file's whole content (a Windows-style path, as
// platform/file.h takes it), read in large chunks; false when it cannot be
// opened or read.
[[nodiscard]] bool Sha256OfFile(std::string_view path, Sha256Digest& digest, std::uint64_t& size);

// True only when signature (64 bytes: r then s, big-endian) is a valid ECDSA
// P-256 signature over SHA-256(message) for publicKey (64 bytes: X then Y,
// big-endian, the uncompressed point without its 0x04). A malformed key or
// signature, a point not on the curve, r or s out of range: false, never a
// crash.
[[nodiscard]] bool VerifyP256Sha256(const std::array<std::uint8_t, 64>& publicKey,
                                    std::string_view message,
                                    const std::array<std::uint8_t, 64>& signature);

}  // namespace platform
