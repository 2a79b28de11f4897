// SHA-256 and ECDSA P-256 checks, with the same vectors in both builds: the
// published SHA-256 vectors, and a signature made once with the openssl
// command line (its key pair is used for nothing else).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/crypto.h"

namespace {

namespace fs = std::filesystem;
using Bytes64 = std::array<std::uint8_t, 64>;

constexpr std::uint8_t Nibble(char hex) {
  return static_cast<std::uint8_t>(hex <= '9' ? hex - '0' : hex - 'a' + 10);
}

// Lower-case hex of exactly N bytes (anything else does not compile).
template <std::size_t N>
consteval std::array<std::uint8_t, N> FromHex(std::string_view hex) {
  if (hex.size() != 2 * N) throw "hex of the wrong length";
  std::array<std::uint8_t, N> bytes{};
  for (std::size_t i = 0; i < N; ++i)
    bytes[i] = static_cast<std::uint8_t>(Nibble(hex[2 * i]) << 4 | Nibble(hex[2 * i + 1]));
  return bytes;
}

consteval platform::Sha256Digest Digest(std::string_view hex) { return FromHex<32>(hex); }

// ---- SHA-256 -------------------------------------------------------------

TEST(Sha256Test, PublishedVectors) {
  EXPECT_EQ(platform::Sha256Of(""),
            Digest("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
  EXPECT_EQ(platform::Sha256Of("abc"),
            Digest("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
  EXPECT_EQ(platform::Sha256Of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            Digest("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"));
}

TEST(Sha256Test, MillionAsInUnevenChunks) {
  const std::string as(1000, 'a');
  platform::Sha256 hash;
  std::size_t left = 1000000, chunk = 1;
  while (left > 0) {
    std::size_t n = std::min({chunk, left, as.size()});
    hash.Add(as.data(), n);
    left -= n;
    chunk = chunk * 7 % 997 + 1;  // 1, 8, 57, 400, ...: every length, block edges included
  }
  EXPECT_EQ(hash.Finish(),
            Digest("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"));
}

class Sha256FileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = fs::temp_directory_path() /
            ("tormex-sha-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove(path_, ec);
  }
  void Write(const std::string& content) {
    std::ofstream(path_, std::ios::binary).write(content.data(), std::streamsize(content.size()));
  }
  fs::path path_;
};

TEST_F(Sha256FileTest, HashAndSizeOfWholeContent) {
  // Past one read chunk and not a multiple of it: the last read is short.
  std::string content((3 << 20) + 7, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31 >> 3);
  Write(content);
  platform::Sha256Digest digest{};
  std::uint64_t size = 0;
  ASSERT_TRUE(platform::Sha256OfFile(path_.string(), digest, size));
  EXPECT_EQ(size, content.size());
  EXPECT_EQ(digest, platform::Sha256Of(content));

  Write("");
  ASSERT_TRUE(platform::Sha256OfFile(path_.string(), digest, size));
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(digest, platform::Sha256Of(""));
}

TEST_F(Sha256FileTest, MissingFileIsFalse) {
  platform::Sha256Digest digest{};
  std::uint64_t size = 0;
  EXPECT_FALSE(platform::Sha256OfFile(path_.string(), digest, size));
}

// ---- ECDSA P-256 with SHA-256 --------------------------------------------

constexpr std::string_view kMessage = "Frissites: pszla.zip, sorozatszam 42";
constexpr Bytes64 kKey = FromHex<64>(
    "7da5f080699d56aa15b593655494512d9ba3c1b2c8222bf9fd13295fb2496a77"
    "0c6e92bf99ac939152b0c938278679a785ad1210f3f5b7bc2f1e2ab1235534de");
constexpr Bytes64 kOtherKey = FromHex<64>(
    "bedf6e5122f91166056ec43f938fda69f5be0d573173b4bd2427dc388c5c64f1"
    "2510946d64a74c15d26bdcb3f8e0d693b4131d9e46998002c0d52ec84ea1c025");
// r then s; s has its top bit set (a 33-byte integer in the DER form).
constexpr Bytes64 kSignature = FromHex<64>(
    "6f8f80fe9b661e47e59ecb1e3658419ebb2abcab695ba6c7fe227b7f7de4795e"
    "ee501f20e8673bb7d07cb842f7c368ded1198d098206b9fbba5a4a5e6c421803");
// The order n of the curve's group.
constexpr std::array<std::uint8_t, 32> kOrder =
    FromHex<32>("ffffffff00000000ffffffffffffffffbce6faada7179e84f3b9cac2fc632551");

Bytes64 WithByte(Bytes64 bytes, std::size_t at, std::uint8_t flip) {
  bytes[at] ^= flip;
  return bytes;
}

// The signature with r (half 0) or s (half 1) replaced.
Bytes64 WithHalf(int half, const std::array<std::uint8_t, 32>& value) {
  Bytes64 signature = kSignature;
  std::copy(value.begin(), value.end(), signature.begin() + 32 * half);
  return signature;
}

TEST(P256Test, GoodSignatureVerifies) {
  EXPECT_TRUE(platform::VerifyP256Sha256(kKey, kMessage, kSignature));
}

TEST(P256Test, ChangedByteFails) {
  std::string message(kMessage);
  message[5] ^= 0x01;
  EXPECT_FALSE(platform::VerifyP256Sha256(kKey, message, kSignature));
  EXPECT_FALSE(platform::VerifyP256Sha256(kKey, kMessage, WithByte(kSignature, 31, 0x01)));  // r
  EXPECT_FALSE(platform::VerifyP256Sha256(kKey, kMessage, WithByte(kSignature, 40, 0x80)));  // s
  EXPECT_FALSE(platform::VerifyP256Sha256(WithByte(kKey, 3, 0x10), kMessage, kSignature));
  EXPECT_FALSE(platform::VerifyP256Sha256(kKey, kMessage.substr(1), kSignature));
}

TEST(P256Test, AnotherKeyFails) {
  EXPECT_FALSE(platform::VerifyP256Sha256(kOtherKey, kMessage, kSignature));
}

TEST(P256Test, OutOfRangeHalvesFail) {
  const std::array<std::uint8_t, 32> zero{};
  std::array<std::uint8_t, 32> allOnes{};
  allOnes.fill(0xFF);
  for (int half : {0, 1}) {
    SCOPED_TRACE(half == 0 ? "r" : "s");
    EXPECT_FALSE(platform::VerifyP256Sha256(kKey, kMessage, WithHalf(half, zero)));
    EXPECT_FALSE(platform::VerifyP256Sha256(kKey, kMessage, WithHalf(half, kOrder)));
    EXPECT_FALSE(platform::VerifyP256Sha256(kKey, kMessage, WithHalf(half, allOnes)));
  }
}

TEST(P256Test, KeyNotOnCurveFails) {
  EXPECT_FALSE(platform::VerifyP256Sha256(WithByte(kKey, 63, 0x01), kMessage, kSignature));
  EXPECT_FALSE(platform::VerifyP256Sha256(Bytes64{}, kMessage, kSignature));
  Bytes64 outOfField{};
  outOfField.fill(0xFF);  // coordinates beyond the field's prime
  EXPECT_FALSE(platform::VerifyP256Sha256(outOfField, kMessage, kSignature));
}

}  // namespace
