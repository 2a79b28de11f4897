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
  std::string data;
  std::uint32_t U16(std::size_t at) const { return Byte(at) | Byte(at + 1) << 8; }
  std::uint32_t U32(std::size_t at) const { return U16(at) | U16(at + 2) << 16; }
  std::uint32_t Byte(std::size_t at) const {
    return at < data.size() ? static_cast<unsigned char>(data[at]) : 0;
  }
};

struct Entry {
  std::string name;
  std::uint32_t method = 0, flags = 0, crc = 0, packedSize = 0, size = 0, localOffset = 0;
};

bool IsFolderEntry(const Entry& e) { return e.name.back() == '/' || e.name.back() == '\\'; }

ExtractResult Fail(ExtractResult result, std::string reason) {
  result.ok = false;
  result.errors.push_back(std::move(reason));
  return result;
}

// The offset of the end-of-central-directory record, or npos.
std::size_t FindEnd(const Bytes& zip) {
  if (zip.data.size() < kEndSize) return std::string::npos;
  std::size_t lowest = zip.data.size() > 0xFFFF + kEndSize ? zip.data.size() - 0xFFFF - kEndSize : 0;
  for (std::size_t at = zip.data.size() - kEndSize + 1; at-- > lowest;)
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
  if (entry.method == 0) return entry.size == entry.packedSize;
  return entry.size <= (std::uint64_t{entry.packedSize} + 1) * kMostUnpackedPerPackedByte;
}

// The entry's bytes, unpacked; false when the data is damaged.
bool Unpack(const Bytes& zip, const Entry& entry, std::string& out) {
  std::size_t local = entry.localOffset;
  if (zip.U32(local) != kLocalSignature) return false;
  std::size_t start = local + kLocalSize + zip.U16(local + 26) + zip.U16(local + 28);
  if (start > zip.data.size() || entry.packedSize > zip.data.size() - start) return false;
  if (!PlausibleSize(entry)) return false;
  const auto* packed = reinterpret_cast<const Bytef*>(zip.data.data() + start);
  out.assign(entry.size, '\0');
  if (entry.method == 0) {
    out.assign(zip.data, start, entry.size);
  } else {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
    stream.next_in = const_cast<Bytef*>(packed);
    stream.avail_in = entry.packedSize;
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = entry.size;
    int status = inflate(&stream, Z_FINISH);
    bool whole = status == Z_STREAM_END && stream.total_out == entry.size;
    inflateEnd(&stream);
    if (!whole) return false;
  }
  return crc32(0, reinterpret_cast<const Bytef*>(out.data()), out.size()) == entry.crc;
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
    e.flags = zip.U16(at + 8);
    e.method = zip.U16(at + 10);
    e.crc = zip.U32(at + 16);
    e.packedSize = zip.U32(at + 20);
    e.size = zip.U32(at + 24);
    e.localOffset = zip.U32(at + 42);
    std::size_t nameLength = zip.U16(at + 28);
    e.name = zip.data.substr(std::min(at + kCentralSize, zip.data.size()), nameLength);
    at += kCentralSize + nameLength + zip.U16(at + 30) + zip.U16(at + 32);
    entries.push_back(std::move(e));
  }
  return true;
}

// Writes one entry under folder; an empty string or the reason.
std::string WriteEntry(const Bytes& zip, const Entry& e, const fs::path& folder, bool overwrite) {
  if (!SafeName(e.name)) return "a mappán kívülre mutató név: " + e.name;
  if (e.flags & 1) return "titkosított tétel: " + e.name;
  if (e.method != 0 && e.method != 8) return "ismeretlen tömörítési mód: " + e.name;
  fs::path target = folder / fs::path(e.name).relative_path();
  std::error_code ec;
  if (IsFolderEntry(e)) {
    fs::create_directories(target, ec);
    return ec ? "a mappa nem hozható létre: " + e.name : "";
  }
  std::string bytes;
  if (!Unpack(zip, e, bytes)) return "sérült tétel: " + e.name;
  if (fs::exists(target, ec) && !(overwrite && fs::remove(target, ec)))
    return (overwrite ? "nem cserélhető: " : "már létezik: ") + e.name;
  fs::create_directories(target.parent_path(), ec);
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return out ? "" : "nem írható: " + e.name;
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
      result.errors.push_back(archive.string() + ": " + error);
    else if (!IsFolderEntry(e))
      result.written.push_back(e.name);
  }
  result.ok = result.errors.empty();
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
