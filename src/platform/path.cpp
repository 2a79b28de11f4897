#include "platform/path.h"

namespace platform {

std::size_t FilePartStart(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/:");
  return cut == std::string_view::npos ? 0 : cut + 1;
}

std::string_view FilePart(std::string_view path) { return path.substr(FilePartStart(path)); }

std::string FolderPart(std::string_view path) {
  std::string_view folder = path.substr(0, FilePartStart(path));
  const std::size_t n = folder.size();
  const bool rootSeparator = n < 2 || IsPathSeparator(folder[n - 2]) || folder[n - 2] == ':';
  if (n > 0 && IsPathSeparator(folder[n - 1]) && !rootSeparator) folder.remove_suffix(1);
  return std::string(folder);
}

std::string_view Extension(std::string_view path) {
  std::string_view file = FilePart(path);
  const std::size_t dot = file.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : file.substr(dot);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string joined(folder);
  if (!joined.empty() && !IsPathSeparator(joined.back()) && joined.back() != ':') joined += '\\';
  return joined.append(name);
}

}  // namespace platform
