// SHA-256 throughput of the platform's hash, in MiB/s: over a 64 MiB buffer
// in memory, and over a 64 MiB file through Sha256OfFile (just written, so
// mostly from the system's cache). Best of three runs each. Builds for both
// platforms: the Windows one measures CNG, the POSIX one libcrypto.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/crypto.h"

namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr std::size_t kSize = 64 * kMiB;

// The best rate of three runs of work over kSize bytes.
double BestMiBPerSecond(const std::function<void()>& work) {
  double best = 0;
  for (int run = 0; run < 3; ++run) {
    auto start = std::chrono::steady_clock::now();
    work();
    std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
    best = std::max(best, double(kSize / kMiB) / seconds.count());
  }
  return best;
}

std::string Content() {
  std::string bytes(kSize, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 2654435761u >> 24);
  return bytes;
}

}  // namespace

int main() {
  const std::string content = Content();
  platform::Sha256Digest digest{};
  double memoryRate = BestMiBPerSecond([&] { digest = platform::Sha256Of(content); });
  std::printf("SHA-256 of a 64 MiB buffer: %.0f MiB/s\n", memoryRate);

  std::filesystem::path path = std::filesystem::temp_directory_path() / "tormex-sha256-rate.bin";
  std::ofstream(path, std::ios::binary).write(content.data(), std::streamsize(content.size()));
  std::uint64_t size = 0;
  bool read = true;
  double fileRate = BestMiBPerSecond([&] { read = read && platform::Sha256OfFile(path.string(), digest, size); });
  std::filesystem::remove(path);
  if (!read || size != kSize) {
    std::fprintf(stderr, "sha256_rate: could not read %s\n", path.string().c_str());
    return 1;
  }
  std::printf("SHA-256 of a 64 MiB file (Sha256OfFile): %.0f MiB/s\n", fileRate);
  return 0;
}
