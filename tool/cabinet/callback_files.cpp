#include "cabinet/callback_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "msi/stream_seek.h"

namespace {

constexpr unsigned kFailed = static_cast<unsigned>(-1);

}  // namespace

unsigned CallbackFile::Read(void*, unsigned) { return kFailed; }
unsigned CallbackFile::Write(const void*, unsigned) { return kFailed; }
long CallbackFile::Seek(long, int) { return -1; }

std::unique_ptr<CabinetOnDisk> CabinetOnDisk::Open(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::unique_ptr<CabinetOnDisk>(new CabinetOnDisk(fd));
}

CabinetOnDisk::~CabinetOnDisk() { close(fd_); }

unsigned CabinetOnDisk::Read(void* buffer, unsigned count) {
  std::size_t done = 0;
  while (done < count) {
    ssize_t got = read(fd_, static_cast<char*>(buffer) + done, count - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return kFailed;
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<unsigned>(done);
}

long CabinetOnDisk::Seek(long distance, int origin) {
  return static_cast<long>(lseek(fd_, distance, origin));
}

CabinetInPackage::~CabinetInPackage() { MsiCloseHandle(record_); }

unsigned CabinetInPackage::Read(void* buffer, unsigned count) {
  if (MsiRecordSeekStream(record_, 2, position_) != ERROR_SUCCESS) return kFailed;
  std::uint32_t size = count;
  if (MsiRecordReadStream(record_, 2, static_cast<char*>(buffer), &size) != ERROR_SUCCESS)
    return kFailed;
  position_ += size;
  return size;
}

long CabinetInPackage::Seek(long distance, int origin) {
  std::int64_t base = 0;
  if (origin == SEEK_CUR) {
    base = static_cast<std::int64_t>(position_);
  } else if (origin == SEEK_END) {
    base = static_cast<std::int64_t>(size_);
  } else if (origin != SEEK_SET) {
    return -1;
  }
  const std::int64_t target = base + distance;
  // The position stays within the stream and within what a long can say.
  if (target < 0 || static_cast<std::uint64_t>(target) > size_ ||
      target > std::numeric_limits<long>::max())
    return -1;
  position_ = static_cast<std::uint64_t>(target);
  return static_cast<long>(target);
}
