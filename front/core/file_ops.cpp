#include "core/file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "files/files.h"
#include "files/posix_flags.h"
#include "files/unique_fd.h"

namespace tarvelin {

bool CopyAll(int in, int out) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!files::WriteAll(out, std::string_view(buffer.data(), static_cast<std::size_t>(got))))
      return false;
  }
}

bool NonFolderExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DeleteFile(const std::string& path) {
  if (!NonFolderExists(path)) return true;
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool WriteNewFile(const std::string& path, std::string_view bytes, unsigned mode) {
  if (!DeleteFile(path)) return false;
  files::UniqueFd out(::open(path.c_str(), files::NewFileFlags(), 0600));
  if (!out.valid()) return false;
  // The mode given to open() is narrowed by the umask; fchmod is not.
  const bool ok = files::WriteAll(out.get(), bytes) &&
                  ::fchmod(out.get(), static_cast<mode_t>(mode & 07777)) == 0 && out.Close();
  if (!ok) ::unlink(path.c_str());
  return ok;
}

}  // namespace tarvelin
