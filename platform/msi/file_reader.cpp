#include "msi/file_reader.h"

#include <utility>

#include "files/files.h"

namespace msi {

std::optional<FileReader> FileReader::Open(const std::string& path) {
  std::optional<files::ReadableFile> file = files::OpenRegularFile(path);
  if (!file) return std::nullopt;
  return FileReader(std::move(file->handle), file->size);
}

bool FileReader::ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const {
  if (offset > size_ || length > size_ - offset) return false;
  auto* out = static_cast<unsigned char*>(buffer);
  while (length > 0) {
    const long long got = files::ReadAt(file_.get(), out, length, offset);
    if (got <= 0) return false;
    out += got;
    offset += static_cast<std::uint64_t>(got);
    length -= static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace msi
