// Positioned reads from a package file that stays open; nothing of the file
// is held in memory except what a caller asks for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "files/handle.h"

namespace msi {

class FileReader {
 public:
  // Opens `path` read-only. Returns nothing when it cannot be opened or is
  // not a regular file.
  static std::optional<FileReader> Open(const std::string& path);

  std::uint64_t size() const { return size_; }

  // Reads exactly `length` bytes at `offset`. False when any of them lies
  // past the end of the file or the read fails.
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t length) const;

 private:
  FileReader(files::UniqueHandle file, std::uint64_t size) : file_(std::move(file)), size_(size) {}
  files::UniqueHandle file_;
  std::uint64_t size_ = 0;
};

}  // namespace msi
