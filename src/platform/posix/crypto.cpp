// platform/crypto.h on POSIX: OpenSSL 3's libcrypto through its EVP
// interface. A signature check leaves nothing on OpenSSL's error queue.
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <algorithm>
#include <new>
#include <vector>

#include "platform/crypto.h"

namespace platform {
namespace {

struct FreeMdContext {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct FreeKeyContext {
  void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
struct FreeKey {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct FreeSignature {
  void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};
using MdContext = std::unique_ptr<EVP_MD_CTX, FreeMdContext>;
using Key = std::unique_ptr<EVP_PKEY, FreeKey>;

// The P-256 public key at the point X||Y; empty when the point is not on
// the curve.
Key P256PublicKey(const std::array<std::uint8_t, 64>& xy) {
  std::array<unsigned char, 65> point{0x04};  // uncompressed
  std::copy(xy.begin(), xy.end(), point.begin() + 1);
  char group[] = "prime256v1";
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
      OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size()),
      OSSL_PARAM_construct_end()};
  std::unique_ptr<EVP_PKEY_CTX, FreeKeyContext> context(
      EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  EVP_PKEY* key = nullptr;
  if (!context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
      EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, params) != 1)
    return nullptr;
  return Key(key);
}

// The DER form (an ASN.1 sequence of two integers) of the raw r||s that
// platform/crypto.h takes; empty when it cannot be made.
std::vector<unsigned char> DerSignature(const std::array<std::uint8_t, 64>& rs) {
  std::unique_ptr<ECDSA_SIG, FreeSignature> signature(ECDSA_SIG_new());
  BIGNUM* r = BN_bin2bn(rs.data(), 32, nullptr);
  BIGNUM* s = BN_bin2bn(rs.data() + 32, 32, nullptr);
  if (!signature || !r || !s || ECDSA_SIG_set0(signature.get(), r, s) != 1) {
    BN_free(r);
    BN_free(s);
    return {};
  }
  int length = i2d_ECDSA_SIG(signature.get(), nullptr);
  if (length <= 0) return {};
  std::vector<unsigned char> der(static_cast<std::size_t>(length));
  unsigned char* out = der.data();
  if (i2d_ECDSA_SIG(signature.get(), &out) != length) return {};
  return der;
}

bool Verify(EVP_PKEY* key, std::string_view message, const std::vector<unsigned char>& der) {
  MdContext context(EVP_MD_CTX_new());
  return context &&
         EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key) == 1 &&
         EVP_DigestVerify(context.get(), der.data(), der.size(),
                          reinterpret_cast<const unsigned char*>(message.data()),
                          message.size()) == 1;
}

}  // namespace

struct Sha256::Impl {
  MdContext Context{EVP_MD_CTX_new()};
};

// The only way these calls fail is a lack of memory.
Sha256::Sha256() : impl_(std::make_unique<Impl>()) {
  if (!impl_->Context || EVP_DigestInit_ex(impl_->Context.get(), EVP_sha256(), nullptr) != 1)
    throw std::bad_alloc();
}

Sha256::~Sha256() = default;

void Sha256::Add(const void* bytes, std::size_t count) {
  EVP_DigestUpdate(impl_->Context.get(), bytes, count);
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  EVP_DigestFinal_ex(impl_->Context.get(), digest.data(), nullptr);
  return digest;
}

bool VerifyP256Sha256(const std::array<std::uint8_t, 64>& publicKey, std::string_view message,
                      const std::array<std::uint8_t, 64>& signature) {
  Key key = P256PublicKey(publicKey);
  std::vector<unsigned char> der = DerSignature(signature);
  bool valid = key && !der.empty() && Verify(key.get(), message, der);
  ERR_clear_error();
  return valid;
}

}  // namespace platform
