// A file in memory (memfd) with a path that open() accepts, for feeding
// many damaged packages to the engine without touching the disk.
#pragma once

#include <string>

#include "files/unique_fd.h"

namespace msi_test {

class MemoryFile {
 public:
  explicit MemoryFile(const std::string& bytes);
  // "/proc/self/fd/N"; empty when the file could not be made.
  const std::string& path() const { return path_; }

 private:
  files::UniqueFd fd_;
  std::string path_;
};

}  // namespace msi_test
