#include "core/file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "files/unique_fd.h"

namespace tarvelin {

namespace {

constexpr int kNewFileFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;

}  // namespace

bool CopyAll(int in, int out) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!WriteAll(out, std::string_view(buffer.data(), static_cast<std::size_t>(got))))
      return false;
  }
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DeleteFile(const std::string& path) {
  if (!FileExists(path)) return true;
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool WriteNewFile(const std::string& path, std::string_view bytes, unsigned mode) {
  if (!DeleteFile(path)) return false;
  files::UniqueFd out(::open(path.c_str(), kNewFileFlags, 0600));
  if (!out.valid()) return false;
  // The mode given to open() is narrowed by the umask; fchmod is not.
  const bool ok = WriteAll(out.get(), bytes) &&
                  ::fchmod(out.get(), static_cast<mode_t>(mode & 07777)) == 0 && out.Close();
  if (!ok) ::unlink(path.c_str());
  return ok;
}

}  // namespace tarvelin
