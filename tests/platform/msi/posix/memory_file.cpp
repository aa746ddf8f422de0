#include "memory_file.h"

#include <sys/mman.h>
#include <unistd.h>

namespace msi_test {

MemoryFile::MemoryFile(const std::string& bytes) {
  file_.reset(memfd_create("package", MFD_CLOEXEC));
  if (!file_) return;
  const int fd = static_cast<int>(file_.get());
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n <= 0) return;
    written += static_cast<std::size_t>(n);
  }
  path_ = "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace msi_test
