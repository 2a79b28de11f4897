// The signed manifest: its codec and the checks the updater makes before it
// fetches anything else. The manifests below were written by the maker's
// tool (update_sign) with the test keys of tests/keys: "current" and
// "backup" are built into the test builds, "stranger" is not.
#include <gtest/gtest.h>

#include <string>

#include "updater/updater.h"

namespace {

using updater::CheckManifest;
using updater::ManifestCheck;

constexpr std::string_view kFolder = "ugy/MINTA";
constexpr std::uint64_t kSerial = 7;
constexpr std::int64_t kNow = 1796000000;  // 2026-11-30; the manifests expire 2099-01-01

const std::string kByCurrent =
    "tormex-manifest 1\n"
    "folder ugy/MINTA\n"
    "serial 7\n"
    "issued 2026-12-01T00:00:00Z\n"
    "expires 2099-01-01T00:00:00Z\n"
    "file pszla.zip 13 2e547448dcd0f2fcd9dbc386d33f1553369883451898177559bcf3e3b1083d16\n"
    "file unzip.exe 11 3c4f1db0612bb439b76ea349fe79d50bd7b0c5bd53afc09f572ddafcc2337706\n"
    "key 6665ef604737e70a\n"
    "signature 7002b058bb41cc63b42f53504eddd0bd3c8a484a13b827203b8241bdcccb53942479aa1ce24489a8a66949675217c589fe3280549ca1f89f2a8483e0b1647efa\n";
const std::string kByBackup =
    "tormex-manifest 1\n"
    "folder ugy/MINTA\n"
    "serial 7\n"
    "issued 2026-12-01T00:00:00Z\n"
    "expires 2099-01-01T00:00:00Z\n"
    "file pszla.zip 13 2e547448dcd0f2fcd9dbc386d33f1553369883451898177559bcf3e3b1083d16\n"
    "file unzip.exe 11 3c4f1db0612bb439b76ea349fe79d50bd7b0c5bd53afc09f572ddafcc2337706\n"
    "key d1ecf6d3e0697227\n"
    "signature 1d8123360bdc582814e60ad7749c5108fa6c2547d820a575b04dde90429bfcd2c78ca315e7e0dc11b280915184f07e2246906af5115ae71999e32e732d219dd2\n";
const std::string kByStranger =
    "tormex-manifest 1\n"
    "folder ugy/MINTA\n"
    "serial 7\n"
    "issued 2026-12-01T00:00:00Z\n"
    "expires 2099-01-01T00:00:00Z\n"
    "file pszla.zip 13 2e547448dcd0f2fcd9dbc386d33f1553369883451898177559bcf3e3b1083d16\n"
    "file unzip.exe 11 3c4f1db0612bb439b76ea349fe79d50bd7b0c5bd53afc09f572ddafcc2337706\n"
    "key 439932c0a017f4b0\n"
    "signature 423d0876ff9fc7f0726d452e1c084d1b745c78b21e41a4794ef8d715573e29b55ed10990326c10d119b1fff46b827d2a4121263aa61aba7c8b82aa1260f6fdfc\n";

ManifestCheck Check(const std::string& text, std::uint64_t lastSerial = 0, std::int64_t now = kNow,
                    std::string_view folder = kFolder) {
  updater::Manifest manifest;
  return CheckManifest(text, folder, lastSerial, now, manifest);
}

TEST(ManifestTest, TheBuiltInKeysSignAndTheirManifestsDecode) {
  EXPECT_EQ(updater::BuiltInUpdateKeys().size(), 2u);
  EXPECT_EQ(Check(kByCurrent), ManifestCheck::kAccepted);
  EXPECT_EQ(Check(kByBackup), ManifestCheck::kAccepted);
  updater::Manifest manifest;
  ASSERT_EQ(CheckManifest(kByCurrent, kFolder, 0, kNow, manifest), ManifestCheck::kAccepted);
  EXPECT_EQ(manifest.Serial, kSerial);
  EXPECT_EQ(updater::FormatUtc(manifest.Issued), "2026-12-01T00:00:00Z");
  EXPECT_EQ(updater::FormatUtc(manifest.Expires), "2099-01-01T00:00:00Z");
  ASSERT_NE(manifest.File("unzip.exe"), nullptr);
  EXPECT_EQ(manifest.File("unzip.exe")->Size, 11u);
  EXPECT_EQ(updater::HexOf(manifest.File("pszla.zip")->Sha256),
            "2e547448dcd0f2fcd9dbc386d33f1553369883451898177559bcf3e3b1083d16");
  // The codec gives back the very bytes the tool wrote.
  std::array<std::uint8_t, 64> signature{};
  std::size_t signedBytes = 0;
  ASSERT_TRUE(updater::DecodeManifest(kByCurrent, manifest, signedBytes, signature));
  EXPECT_EQ(updater::EncodeManifest(manifest, signature), kByCurrent);
  EXPECT_EQ(updater::EncodeManifestBody(manifest), kByCurrent.substr(0, signedBytes));
}

// Every byte counts: one bit changed anywhere (the signature included) is
// refused, whatever line it falls on.
TEST(ManifestTest, AnyChangedByteIsRefused) {
  for (std::size_t at = 0; at < kByCurrent.size(); ++at) {
    std::string changed = kByCurrent;
    changed[at] = static_cast<char>(changed[at] ^ 1);
    EXPECT_EQ(Check(changed), ManifestCheck::kBadSignature) << "byte " << at;
  }
}

TEST(ManifestTest, AStrangersKeyAnotherFolderOrExtraBytesAreRefused) {
  EXPECT_EQ(Check(kByStranger), ManifestCheck::kBadSignature);
  EXPECT_EQ(Check(kByCurrent, 0, kNow, "ugy/MASIK"), ManifestCheck::kBadSignature);
  EXPECT_EQ(Check(kByCurrent, 0, kNow, "szla22"), ManifestCheck::kBadSignature);
  EXPECT_EQ(Check(kByCurrent + "\n"), ManifestCheck::kBadSignature);
  EXPECT_EQ(Check(kByCurrent.substr(0, kByCurrent.size() - 1)), ManifestCheck::kBadSignature);
  EXPECT_EQ(Check(""), ManifestCheck::kBadSignature);
  EXPECT_EQ(Check(std::string(updater::kManifestMaxBytes + 1, 'x')), ManifestCheck::kBadSignature);
}

TEST(ManifestTest, OlderReleasesAndExpiredManifestsAreRefused) {
  EXPECT_EQ(Check(kByCurrent, kSerial), ManifestCheck::kAccepted);  // the same release again
  EXPECT_EQ(Check(kByCurrent, kSerial + 1), ManifestCheck::kOlder);
  std::int64_t expires = 0;
  ASSERT_TRUE(updater::ParseUtc("2099-01-01T00:00:00Z", expires));
  EXPECT_EQ(Check(kByCurrent, 0, expires - 1), ManifestCheck::kAccepted);
  EXPECT_EQ(Check(kByCurrent, 0, expires), ManifestCheck::kExpired);
  // A rollback is told as such even when the old manifest has expired too.
  EXPECT_EQ(Check(kByCurrent, kSerial + 1, expires), ManifestCheck::kOlder);
}

TEST(ManifestTest, TimesAreUtcAndStrict) {
  std::int64_t seconds = 0;
  ASSERT_TRUE(updater::ParseUtc("2023-11-14T22:13:20Z", seconds));
  EXPECT_EQ(seconds, 1700000000);
  EXPECT_EQ(updater::FormatUtc(951782400), "2000-02-29T00:00:00Z");
  EXPECT_EQ(updater::FormatUtc(0), "1970-01-01T00:00:00Z");
  for (const char* bad : {"2023-13-01T00:00:00Z", "2023-11-14 22:13:20Z", "2023-11-14T22:13:20",
                          "2023-11-14T24:00:00Z", "+023-11-14T22:13:20Z"})
    EXPECT_FALSE(updater::ParseUtc(bad, seconds)) << bad;
}

}  // namespace
