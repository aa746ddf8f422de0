// A file in memory with a path that the engine opens, for feeding many
// damaged packages to it: a memfd on Linux, a temporary file deleted on
// close on Windows.
#pragma once

#include <string>

#include "files/handle.h"

namespace msi_test {

class MemoryFile {
 public:
  explicit MemoryFile(const std::string& bytes);
  // "/proc/self/fd/N" (a temporary file's path on Windows); empty when the
  // file could not be made.
  const std::string& path() const { return path_; }

 private:
  files::UniqueHandle file_;
  std::string path_;
};

}  // namespace msi_test
