// A file in memory (memfd) with a path that open() accepts, for feeding
// many damaged packages to the engine without touching the disk.
#pragma once

#include <string>

namespace msi_test {

class MemoryFile {
 public:
  explicit MemoryFile(const std::string& bytes);
  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  // "/proc/self/fd/N"; empty when the file could not be made.
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

}  // namespace msi_test
