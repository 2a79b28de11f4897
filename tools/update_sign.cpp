// The maker's tool for signed updates (native, OpenSSL's libcrypto):
//
//   update_sign newkey PRIVATE.pem
//       makes a P-256 key pair, writes the private half (PEM, mode 0600) and
//       prints the public half's line for a keys file ("<role> <128 hex>").
//   update_sign public PRIVATE.pem
//       prints that line again, and the key id, for a key made before.
//   update_sign manifest --key PRIVATE.pem --folder FOLDER --serial N
//                        --expires YYYY-MM-DD [--issued YYYY-MM-DD] --out FILE
//                        PACKAGE UNZIP
//       writes the signed manifest (the updater's own codec) naming the size
//       and SHA-256 of PACKAGE (as pszla.zip) and UNZIP (as unzip.exe);
//       issued defaults to now. A date may also be given in full,
//       YYYY-MM-DDTHH:MM:SSZ.
//
// Exit code 0 on success, 1 when a file cannot be read or written or
// signing fails, 2 on bad arguments.
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/crypto.h"
#include "updater/updater.h"

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

[[noreturn]] void Fail(const std::string& why, int code = kExitFailed) {
  std::fprintf(stderr, "update_sign: %s\n", why.c_str());
  std::exit(code);
}

Key ReadKey(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (!file) Fail("cannot read " + path);
  Key key(PEM_read_PrivateKey(file, nullptr, nullptr, nullptr), EVP_PKEY_free);
  std::fclose(file);
  if (!key) Fail("not a private key: " + path);
  return key;
}

// The public point, X then Y (without the uncompressed form's 0x04).
std::array<std::uint8_t, 64> PublicPoint(EVP_PKEY* key) {
  std::uint8_t encoded[65];
  std::size_t length = 0;
  if (!EVP_PKEY_get_octet_string_param(key, "encoded-pub-key", encoded, sizeof encoded, &length) ||
      length != 65 || encoded[0] != 4)
    Fail("not a P-256 key");
  std::array<std::uint8_t, 64> point;
  std::memcpy(point.data(), encoded + 1, 64);
  return point;
}

void PrintPublic(EVP_PKEY* key) {
  std::array<std::uint8_t, 64> point = PublicPoint(key);
  std::string hex;
  for (std::uint8_t byte : point) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", byte);
    hex += two;
  }
  std::printf("current %s\nkey id %s\n", hex.c_str(), updater::KeyIdOf(point).c_str());
}

int NewKey(const std::string& path) {
  Key key(EVP_EC_gen("P-256"), EVP_PKEY_free);
  if (!key) Fail("no key made");
  std::FILE* file = std::fopen(path.c_str(), "wx");
  if (!file) Fail("cannot create " + path + " (it must not exist yet)");
  (void)chmod(path.c_str(), 0600);
  bool written = PEM_write_PrivateKey(file, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
  if (std::fclose(file) != 0 || !written) Fail("cannot write " + path);
  PrintPublic(key.get());
  return 0;
}

// ECDSA over SHA-256 of message, as r then s (32 bytes each).
std::array<std::uint8_t, 64> Sign(EVP_PKEY* key, const std::string& message) {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  std::vector<unsigned char> der(128);
  std::size_t length = der.size();
  if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key) != 1 ||
      EVP_DigestSign(context.get(), der.data(), &length,
                     reinterpret_cast<const unsigned char*>(message.data()), message.size()) != 1)
    Fail("signing failed");
  const unsigned char* at = der.data();
  std::unique_ptr<ECDSA_SIG, decltype(&ECDSA_SIG_free)> signature(d2i_ECDSA_SIG(nullptr, &at, static_cast<long>(length)),
                                                                  ECDSA_SIG_free);
  std::array<std::uint8_t, 64> raw{};
  if (!signature || BN_bn2binpad(ECDSA_SIG_get0_r(signature.get()), raw.data(), 32) != 32 ||
      BN_bn2binpad(ECDSA_SIG_get0_s(signature.get()), raw.data() + 32, 32) != 32)
    Fail("signing failed");
  return raw;
}

// "YYYY-MM-DD" (midnight UTC) or "YYYY-MM-DDTHH:MM:SSZ" to seconds since 1970.
std::int64_t Date(const std::string& text) {
  std::int64_t seconds = 0;
  if (!updater::ParseUtc(text.size() == 10 ? text + "T00:00:00Z" : text, seconds))
    Fail("not a date: " + text, kExitUsage);
  return seconds;
}

updater::ManifestFile Entry(const std::string& path, std::string_view name) {
  updater::ManifestFile file;
  file.Name = std::string(name);
  if (!platform::Sha256OfFile(path, file.Sha256, file.Size)) Fail("cannot read " + path);
  return file;
}

int WriteManifest(std::map<std::string, std::string>& options, const std::vector<std::string>& files) {
  for (const char* required : {"--key", "--folder", "--serial", "--expires", "--out"})
    if (options[required].empty()) Fail(std::string("missing ") + required, kExitUsage);
  if (files.size() != 2) Fail("give the package and unzip.exe", kExitUsage);
  Key key = ReadKey(options["--key"]);
  updater::Manifest manifest;
  manifest.Folder = options["--folder"];
  manifest.Serial = std::stoull(options["--serial"]);
  manifest.Issued = options["--issued"].empty()
                        ? std::chrono::duration_cast<std::chrono::seconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count()
                        : Date(options["--issued"]);
  manifest.Expires = Date(options["--expires"]);
  manifest.Files = {Entry(files[0], updater::PackageName), Entry(files[1], "unzip.exe")};
  manifest.KeyId = updater::KeyIdOf(PublicPoint(key.get()));
  std::string text = updater::EncodeManifest(manifest, Sign(key.get(), updater::EncodeManifestBody(manifest)));
  std::FILE* out = std::fopen(options["--out"].c_str(), "wb");
  if (!out) Fail("cannot create " + options["--out"]);
  bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  if (std::fclose(out) != 0 || !written) Fail("cannot write " + options["--out"]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 2 && args[0] == "newkey") return NewKey(args[1]);
  if (args.size() == 2 && args[0] == "public") {
    PrintPublic(ReadKey(args[1]).get());
    return 0;
  }
  if (!args.empty() && args[0] == "manifest") {
    std::map<std::string, std::string> options;
    std::vector<std::string> files;
    for (std::size_t i = 1; i < args.size(); ++i) {
      if (args[i].rfind("--", 0) == 0 && i + 1 < args.size())
        options[args[i]] = args[i + 1], ++i;
      else
        files.push_back(args[i]);
    }
    return WriteManifest(options, files);
  }
  Fail("usage: update_sign newkey|public PRIVATE.pem, or update_sign manifest --key PRIVATE.pem "
       "--folder FOLDER --serial N --expires DATE [--issued DATE] --out FILE PACKAGE UNZIP",
       kExitUsage);
}
