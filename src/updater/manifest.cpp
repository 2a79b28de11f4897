// The signed manifest of an update: its one codec (the maker's tool encodes
// with it, the updater decodes with it) and the checks the updater makes
// before it downloads anything else.
#include <algorithm>
#include <charconv>
#include <chrono>

#include "platform/crypto.h"
#include "updater/updater.h"

namespace updater {

namespace {

constexpr std::string_view kMagic = "tormex-manifest 1";

// kBuiltInKeys: the keys this build trusts, generated from the keys file
// the build names (none without one).
#include "update_keys.inc"

constexpr char kHexDigits[] = "0123456789abcdef";

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text += kHexDigits[bytes[i] >> 4];
    text += kHexDigits[bytes[i] & 15];
  }
  return text;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;  // upper case too: one spelling only
}

// Exactly N bytes from 2N lower-case hex digits.
template <std::size_t N>
bool FromHex(std::string_view text, std::array<std::uint8_t, N>& bytes) {
  if (text.size() != 2 * N) return false;
  for (std::size_t i = 0; i < N; ++i) {
    int high = HexValue(text[2 * i]), low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return true;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(int year, int month, int day) {
  year -= month <= 2;
  const int era = (year >= 0 ? year : year - 399) / 400;
  const int yearOfEra = year - era * 400;
  const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return static_cast<std::int64_t>(era) * 146097 + dayOfEra - 719468;
}

bool Number(std::string_view text, std::uint64_t& value) {
  if (text.empty() || text.size() > 19 || (text.size() > 1 && text[0] == '0')) return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

bool ParseUtc(std::string_view text, std::int64_t& seconds) {
  if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text[19] != 'Z')
    return false;
  int parts[6];
  const std::size_t at[6] = {0, 5, 8, 11, 14, 17}, width[6] = {4, 2, 2, 2, 2, 2};
  for (int i = 0; i < 6; ++i) {
    std::string_view part = text.substr(at[i], width[i]);
    auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), parts[i]);
    if (error != std::errc() || end != part.data() + part.size()) return false;
  }
  if (parts[1] < 1 || parts[1] > 12 || parts[2] < 1 || parts[2] > 31 || parts[3] > 23 || parts[4] > 59 ||
      parts[5] > 59)
    return false;
  seconds = DaysFromCivil(parts[0], parts[1], parts[2]) * 86400 + parts[3] * 3600 + parts[4] * 60 + parts[5];
  return true;
}

namespace {

// Reads the manifest's lines in turn: each must begin with its key and a blank.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  // The value of the next line when it is "key value\n".
  bool Next(std::string_view key, std::string_view& value) {
    std::size_t end = text_.find('\n', at_);
    if (end == std::string_view::npos) return false;
    std::string_view line = text_.substr(at_, end - at_);
    if (line.size() <= key.size() || line.substr(0, key.size()) != key || line[key.size()] != ' ')
      return false;
    value = line.substr(key.size() + 1);
    at_ = end + 1;
    return true;
  }
  bool Magic() {
    std::size_t end = text_.find('\n');
    if (end == std::string_view::npos || text_.substr(0, end) != kMagic) return false;
    at_ = end + 1;
    return true;
  }
  std::size_t At() const { return at_; }
  bool AtEnd() const { return at_ == text_.size(); }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

bool DecodeFile(std::string_view value, ManifestFile& file) {
  std::size_t first = value.find(' '), second = value.rfind(' ');
  if (first == std::string_view::npos || second == first) return false;
  file.Name = std::string(value.substr(0, first));
  return Number(value.substr(first + 1, second - first - 1), file.Size) &&
         FromHex(value.substr(second + 1), file.Sha256);
}

const UpdateKey* KeyWithId(std::string_view keyId) {
  for (const UpdateKey& key : BuiltInUpdateKeys())
    if (KeyIdOf(key.Point) == keyId) return &key;
  return nullptr;
}

}  // namespace

std::span<const UpdateKey> BuiltInUpdateKeys() {
  return kBuiltInKeys;
}

std::string KeyIdOf(const std::array<std::uint8_t, 64>& point) {
  platform::Sha256Digest digest =
      platform::Sha256Of(std::string_view(reinterpret_cast<const char*>(point.data()), point.size()));
  return Hex(digest.data(), 8);
}

std::string HexOf(const platform::Sha256Digest& digest) { return Hex(digest.data(), digest.size()); }

std::string FormatUtc(std::int64_t seconds) {
  using namespace std::chrono;
  const sys_days day{days{seconds / 86400 - (seconds % 86400 < 0)}};
  const year_month_day date{day};
  const std::int64_t rest = seconds - day.time_since_epoch().count() * std::int64_t{86400};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
  return text;
}

std::string EncodeManifestBody(const Manifest& manifest) {
  std::string text = std::string(kMagic) + "\n";
  text += "folder " + manifest.Folder + "\n";
  text += "serial " + std::to_string(manifest.Serial) + "\n";
  text += "issued " + FormatUtc(manifest.Issued) + "\n";
  text += "expires " + FormatUtc(manifest.Expires) + "\n";
  for (const ManifestFile& file : manifest.Files)
    text += "file " + file.Name + " " + std::to_string(file.Size) + " " + HexOf(file.Sha256) + "\n";
  return text + "key " + manifest.KeyId + "\n";
}

std::string EncodeManifest(const Manifest& manifest, const std::array<std::uint8_t, 64>& signature) {
  return EncodeManifestBody(manifest) + "signature " + Hex(signature.data(), signature.size()) + "\n";
}

bool DecodeManifest(std::string_view text, Manifest& manifest, std::size_t& signedBytes,
                    std::array<std::uint8_t, 64>& signature) {
  LineReader lines(text);
  std::string_view folder, serial, issued, expires, keyId, signatureHex;
  if (!lines.Magic() || !lines.Next("folder", folder) || !lines.Next("serial", serial) ||
      !lines.Next("issued", issued) || !lines.Next("expires", expires))
    return false;
  manifest = Manifest{};
  manifest.Folder = std::string(folder);
  if (!Number(serial, manifest.Serial) || !ParseUtc(issued, manifest.Issued) ||
      !ParseUtc(expires, manifest.Expires))
    return false;
  for (std::string_view value; lines.Next("file", value);) {
    manifest.Files.emplace_back();
    if (!DecodeFile(value, manifest.Files.back())) return false;
  }
  if (!lines.Next("key", keyId)) return false;
  manifest.KeyId = std::string(keyId);
  signedBytes = lines.At();
  return lines.Next("signature", signatureHex) && FromHex(signatureHex, signature) && lines.AtEnd();
}

const ManifestFile* Manifest::File(std::string_view name) const {
  auto found = std::find_if(Files.begin(), Files.end(), [&](const ManifestFile& f) { return f.Name == name; });
  return found == Files.end() ? nullptr : &*found;
}

ManifestCheck CheckManifest(std::string_view text, std::string_view folder, std::uint64_t lastSerial,
                            std::int64_t now, Manifest& manifest) {
  std::size_t signedBytes = 0;
  std::array<std::uint8_t, 64> signature{};
  if (text.size() > kManifestMaxBytes || !DecodeManifest(text, manifest, signedBytes, signature))
    return ManifestCheck::kBadSignature;
  const UpdateKey* key = KeyWithId(manifest.KeyId);
  if (!key || !platform::VerifyP256Sha256(key->Point, text.substr(0, signedBytes), signature))
    return ManifestCheck::kBadSignature;
  // Signed, so these are the maker's word: for another folder, or without
  // the two files, it is not this update's manifest.
  if (manifest.Folder != folder || !manifest.File(PackageName) || !manifest.File("unzip.exe"))
    return ManifestCheck::kBadSignature;
  if (manifest.Serial < lastSerial) return ManifestCheck::kOlder;
  if (now >= manifest.Expires) return ManifestCheck::kExpired;
  return ManifestCheck::kAccepted;
}

}  // namespace updater
