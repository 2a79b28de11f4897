// platform/crypto.h on Win32: CNG (bcrypt), present from Windows Vista on
// (hash objects that CNG allocates itself: Windows 7). Each algorithm's
// provider is opened once, on first use, and kept for the process.
#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <new>
#include <vector>

#include "platform/crypto.h"

namespace platform {
namespace {

bool Succeeded(NTSTATUS status) { return status >= 0; }

// The provider of an algorithm; nullptr when the system has none.
BCRYPT_ALG_HANDLE OpenProvider(LPCWSTR algorithm) {
  BCRYPT_ALG_HANDLE provider = nullptr;
  if (!Succeeded(BCryptOpenAlgorithmProvider(&provider, algorithm, nullptr, 0))) return nullptr;
  return provider;
}

BCRYPT_ALG_HANDLE Sha256Provider() {
  static const BCRYPT_ALG_HANDLE provider = OpenProvider(BCRYPT_SHA256_ALGORITHM);
  return provider;
}

BCRYPT_ALG_HANDLE P256Provider() {
  static const BCRYPT_ALG_HANDLE provider = OpenProvider(BCRYPT_ECDSA_P256_ALGORITHM);
  return provider;
}

// A public key imported into CNG, destroyed with the object.
class P256Key {
 public:
  // Imports X||Y; Valid() is false when CNG refuses the key.
  explicit P256Key(const std::array<std::uint8_t, 64>& xy) {
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + xy.size());
    BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, xy.data(), xy.size());
    BCRYPT_ALG_HANDLE provider = P256Provider();
    if (provider && !Succeeded(BCryptImportKeyPair(provider, nullptr, BCRYPT_ECCPUBLIC_BLOB,
                                                   &key_, blob.data(),
                                                   static_cast<ULONG>(blob.size()), 0)))
      key_ = nullptr;
  }
  ~P256Key() {
    if (key_) BCryptDestroyKey(key_);
  }
  P256Key(const P256Key&) = delete;
  P256Key& operator=(const P256Key&) = delete;

  bool Valid() const { return key_ != nullptr; }
  BCRYPT_KEY_HANDLE Handle() const { return key_; }

 private:
  BCRYPT_KEY_HANDLE key_ = nullptr;
};

}  // namespace

struct Sha256::Impl {
  BCRYPT_HASH_HANDLE Hash = nullptr;
};

// Fails only when the system lacks SHA-256 or memory.
Sha256::Sha256() : impl_(std::make_unique<Impl>()) {
  BCRYPT_ALG_HANDLE provider = Sha256Provider();
  if (!provider || !Succeeded(BCryptCreateHash(provider, &impl_->Hash, nullptr, 0, nullptr, 0, 0)))
    throw std::bad_alloc();
}

Sha256::~Sha256() { BCryptDestroyHash(impl_->Hash); }

void Sha256::Add(const void* bytes, std::size_t count) {
  // BCryptHashData takes a ULONG count: a 64-bit caller's larger buffer
  // goes in parts.
  constexpr std::size_t kMaxPart = std::size_t{1} << 30;
  auto* next = static_cast<PUCHAR>(const_cast<void*>(bytes));
  while (count > 0) {
    std::size_t part = count < kMaxPart ? count : kMaxPart;
    BCryptHashData(impl_->Hash, next, static_cast<ULONG>(part), 0);
    next += part;
    count -= part;
  }
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  BCryptFinishHash(impl_->Hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
  return digest;
}

bool VerifyP256Sha256(const std::array<std::uint8_t, 64>& publicKey, std::string_view message,
                      const std::array<std::uint8_t, 64>& signature) {
  P256Key key(publicKey);
  if (!key.Valid()) return false;
  Sha256Digest digest = Sha256Of(message);
  std::array<std::uint8_t, 64> rs = signature;  // CNG takes a non-const buffer
  return BCryptVerifySignature(key.Handle(), nullptr, digest.data(),
                               static_cast<ULONG>(digest.size()), rs.data(),
                               static_cast<ULONG>(rs.size()), 0) == 0;
}

}  // namespace platform
