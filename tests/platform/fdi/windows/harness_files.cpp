// The harness's file callbacks on the C library's descriptors, in binary
// mode: the open flags the cabinet interface hands over are the C
// library's own.
#include <fcntl.h>
#include <io.h>

#include "platform/fdi/fdi_harness.h"

namespace fdi_test {

intptr_t OpenHostFile(char* name, int flags, int mode) {
  const int fd = _open(name, flags | _O_BINARY | _O_NOINHERIT, mode);
  return fd < 0 ? -1 : fd;
}

int CloseHostFile(intptr_t handle) { return _close(static_cast<int>(handle)) == 0 ? 0 : -1; }

unsigned Read(intptr_t handle, void* buffer, unsigned count) {
  const int got = _read(static_cast<int>(handle), buffer, count);
  return got < 0 ? static_cast<unsigned>(-1) : static_cast<unsigned>(got);
}

unsigned Write(intptr_t handle, void* buffer, unsigned count) {
  const int put = _write(static_cast<int>(handle), buffer, count);
  return put < 0 ? static_cast<unsigned>(-1) : static_cast<unsigned>(put);
}

long Seek(intptr_t handle, long distance, int origin) {
  const long position = _lseek(static_cast<int>(handle), distance, origin);
  return position < 0 ? -1 : position;
}

}  // namespace fdi_test
