// The parts of platform/crypto.h that both halves share: whole strings and
// whole files, through the incremental hash of each half.
#include "platform/crypto.h"

#include <vector>

#include "platform/file.h"

namespace platform {

Sha256Digest Sha256Of(std::string_view bytes) {
  Sha256 hash;
  hash.Add(bytes.data(), bytes.size());
  return hash.Finish();
}

bool Sha256OfFile(std::string_view path, Sha256Digest& digest, std::uint64_t& size) {
  constexpr std::size_t kChunk = std::size_t{1} << 20;
  std::unique_ptr<File> file = NewFile();
  if (file->Open(path, share::kReading) != 0) return false;
  std::vector<std::uint8_t> buffer(kChunk);
  Sha256 hash;
  std::uint64_t total = 0;
  std::size_t got = kChunk;
  while (got == kChunk) {  // a short read is the end of the file
    if (file->ReadAt(static_cast<std::int64_t>(total), buffer.data(), kChunk, got) != 0) return false;
    hash.Add(buffer.data(), got);
    total += got;
  }
  digest = hash.Finish();
  size = total;
  return true;
}

}  // namespace platform
