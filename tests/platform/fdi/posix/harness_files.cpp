// The harness's file callbacks on POSIX descriptors.
#include <fcntl.h>
#include <unistd.h>

#include "platform/fdi/fdi_harness.h"

namespace fdi_test {

intptr_t OpenHostFile(char* name, int flags, int mode) {
  const int fd = open(name, flags | O_CLOEXEC, mode);
  return fd < 0 ? -1 : fd;
}

int CloseHostFile(intptr_t handle) { return close(static_cast<int>(handle)) == 0 ? 0 : -1; }

unsigned Read(intptr_t handle, void* buffer, unsigned count) {
  ssize_t got = read(static_cast<int>(handle), buffer, count);
  return got < 0 ? static_cast<unsigned>(-1) : static_cast<unsigned>(got);
}

unsigned Write(intptr_t handle, void* buffer, unsigned count) {
  ssize_t put = write(static_cast<int>(handle), buffer, count);
  return put < 0 ? static_cast<unsigned>(-1) : static_cast<unsigned>(put);
}

long Seek(intptr_t handle, long distance, int origin) {
  off_t position = lseek(static_cast<int>(handle), distance, origin);
  return position < 0 ? -1 : static_cast<long>(position);
}

}  // namespace fdi_test
