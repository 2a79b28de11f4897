#include "zipfile.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string_view>

#include "platform/codepage.h"

namespace standins {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kEndSignature = 0x06054b50, kCentralSignature = 0x02014b50,
                        kLocalSignature = 0x04034b50;
constexpr std::size_t kEndSize = 22, kCentralSize = 46, kLocalSize = 30;

// Little-endian fields of the archive held in memory; reads past the end
// give 0, which every caller's signature check then refuses.
struct Bytes {
  std::string Data;
  std::uint32_t U16(std::size_t at) const { return Byte(at) | Byte(at + 1) << 8; }
  std::uint32_t U32(std::size_t at) const { return U16(at) | U16(at + 2) << 16; }
  std::uint32_t Byte(std::size_t at) const {
    return at < Data.size() ? static_cast<unsigned char>(Data[at]) : 0;
  }
};

struct Entry {
  std::string Name;
  std::uint32_t Method = 0, Flags = 0, Crc = 0, PackedSize = 0, Size = 0, LocalOffset = 0;
};

bool IsFolderEntry(const Entry& e) { return e.Name.back() == '/' || e.Name.back() == '\\'; }

ExtractResult Fail(ExtractResult result, std::string reason) {
  result.Ok = false;
  result.Errors.push_back(std::move(reason));
  return result;
}

// The offset of the end-of-central-directory record, or npos.
std::size_t FindEnd(const Bytes& zip) {
  if (zip.Data.size() < kEndSize) return std::string::npos;
  std::size_t lowest = zip.Data.size() > 0xFFFF + kEndSize ? zip.Data.size() - 0xFFFF - kEndSize : 0;
  for (std::size_t at = zip.Data.size() - kEndSize + 1; at-- > lowest;)
    if (zip.U32(at) == kEndSignature) return at;
  return std::string::npos;
}

// True when the entry name stays inside the target folder.
bool SafeName(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
  if (name.find(':') != std::string_view::npos) return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = name.size();
    if (name.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

// Deflate cannot make more than about 1032 bytes of one packed byte.
constexpr std::uint64_t kMostUnpackedPerPackedByte = 1032;

// True when the size that the directory claims can come out of the packed
// bytes: a stored entry is as large as its packed bytes, a deflated one at
// most kMostUnpackedPerPackedByte times as large. A size beyond that is the
// lie of a damaged archive, caught before any memory is taken for it.
bool PlausibleSize(const Entry& entry) {
  if (entry.Method == 0) return entry.Size == entry.PackedSize;
  return entry.Size <= (std::uint64_t{entry.PackedSize} + 1) * kMostUnpackedPerPackedByte;
}

// The entry's bytes, unpacked; false when the data is damaged.
bool Unpack(const Bytes& zip, const Entry& entry, std::string& out) {
  std::size_t local = entry.LocalOffset;
  if (zip.U32(local) != kLocalSignature) return false;
  std::size_t start = local + kLocalSize + zip.U16(local + 26) + zip.U16(local + 28);
  if (start > zip.Data.size() || entry.PackedSize > zip.Data.size() - start) return false;
  if (!PlausibleSize(entry)) return false;
  const auto* packed = reinterpret_cast<const Bytef*>(zip.Data.data() + start);
  out.assign(entry.Size, '\0');
  if (entry.Method == 0) {
    out.assign(zip.Data, start, entry.Size);
  } else {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
    stream.next_in = const_cast<Bytef*>(packed);
    stream.avail_in = entry.PackedSize;
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = entry.Size;
    int status = inflate(&stream, Z_FINISH);
    bool whole = status == Z_STREAM_END && stream.total_out == entry.Size;
    inflateEnd(&stream);
    if (!whole) return false;
  }
  return crc32(0, reinterpret_cast<const Bytef*>(out.data()), out.size()) == entry.Crc;
}

bool ReadCentral(const Bytes& zip, std::vector<Entry>& entries, std::string& error) {
  std::size_t end = FindEnd(zip);
  if (end == std::string::npos) {
    error = "nem zip-archívum";
    return false;
  }
  std::size_t at = zip.U32(end + 16);
  for (std::uint32_t n = zip.U16(end + 10); n > 0; --n) {
    if (zip.U32(at) != kCentralSignature) {
      error = "sérült tartalomjegyzék";
      return false;
    }
    Entry e;
    e.Flags = zip.U16(at + 8);
    e.Method = zip.U16(at + 10);
    e.Crc = zip.U32(at + 16);
    e.PackedSize = zip.U32(at + 20);
    e.Size = zip.U32(at + 24);
    e.LocalOffset = zip.U32(at + 42);
    std::size_t nameLength = zip.U16(at + 28);
    e.Name = zip.Data.substr(std::min(at + kCentralSize, zip.Data.size()), nameLength);
    at += kCentralSize + nameLength + zip.U16(at + 30) + zip.U16(at + 32);
    entries.push_back(std::move(e));
  }
  return true;
}

// Writes one entry under folder; an empty string or the reason.
std::string WriteEntry(const Bytes& zip, const Entry& e, const fs::path& folder, bool overwrite) {
  if (!SafeName(e.Name)) return "a mappán kívülre mutató név: " + e.Name;
  if (e.Flags & 1) return "titkosított tétel: " + e.Name;
  if (e.Method != 0 && e.Method != 8) return "ismeretlen tömörítési mód: " + e.Name;
  fs::path target = folder / fs::path(e.Name).relative_path();
  std::error_code ec;
  if (IsFolderEntry(e)) {
    fs::create_directories(target, ec);
    return ec ? "a mappa nem hozható létre: " + e.Name : "";
  }
  std::string bytes;
  if (!Unpack(zip, e, bytes)) return "sérült tétel: " + e.Name;
  if (fs::exists(target, ec) && !(overwrite && fs::remove(target, ec)))
    return (overwrite ? "nem cserélhető: " : "már létezik: ") + e.Name;
  fs::create_directories(target.parent_path(), ec);
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return out ? "" : "nem írható: " + e.Name;
}

}  // namespace

ExtractResult ExtractZip(const fs::path& archive, const fs::path& folder, bool overwrite) {
  ExtractResult result;
  std::ifstream in(archive, std::ios::binary);
  if (!in) return Fail(result, "nem nyitható meg: " + archive.string());
  Bytes zip{std::string(std::istreambuf_iterator<char>(in), {})};
  std::vector<Entry> entries;
  std::string error;
  if (!ReadCentral(zip, entries, error)) return Fail(result, archive.string() + ": " + error);
  for (const Entry& e : entries) {
    error = WriteEntry(zip, e, folder, overwrite);
    if (!error.empty())
      result.Errors.push_back(archive.string() + ": " + error);
    else if (!IsFolderEntry(e))
      result.Written.push_back(e.Name);
  }
  result.Ok = result.Errors.empty();
  return result;
}

void LogRun(const std::string& line) {
  const char* log = std::getenv("TORMEX_STANDIN_LOG");
  if (log == nullptr || *log == '\0') return;
  std::ofstream out(log, std::ios::binary | std::ios::app);
  out << line << "\n";
}

void Say(const std::string& utf8Line, bool error) {
#ifdef _WIN32
  std::string line = platform::Utf8ToCp852(utf8Line);
#else
  const std::string& line = utf8Line;
#endif
  std::FILE* stream = error ? stderr : stdout;
  std::fputs(line.c_str(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

}  // namespace standins
