#include "host/file_ops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "files/files.h"
#include "files/posix_flags.h"
#include "files/unique_fd.h"
#include "host/posix/copy_all.h"

namespace tarvelin {

bool CopyAll(int in, int out) {
  char buffer[1 << 16];
  for (;;) {
    const long long got = files::ReadSome(in, buffer, sizeof buffer);
    if (got < 0) return false;
    if (got == 0) return true;
    if (!files::WriteAll(out, std::string_view(buffer, static_cast<std::size_t>(got))))
      return false;
  }
}

bool NonFolderExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ReadableFile(const std::string& path) {
  files::UniqueFd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat info {};
  return in.valid() && ::fstat(in.get(), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsFullPath(const std::string& path) { return !path.empty() && path.front() == '/'; }

bool IsInside(const std::string& path, const std::string& folder) {
  std::error_code error;
  const std::string resolved = std::filesystem::weakly_canonical(path, error).string();
  if (error) return true;
  std::string top = folder;
  while (top.size() > 1 && top.back() == '/') top.pop_back();
  top = std::filesystem::weakly_canonical(top, error).string();
  if (error) return true;
  return resolved == top || resolved.rfind(top + "/", 0) == 0;
}

bool RemoveFile(const std::string& path) {
  if (!NonFolderExists(path)) return true;
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool MakePrivateFolder(const std::string& path) {
  return ::mkdir(path.c_str(), 0700) == 0 || IsFolder(path);
}

void RemoveEmptyFolder(const std::string& path) { ::rmdir(path.c_str()); }

files::UniqueHandle CreateNewFile(const std::string& path) {
  const int fd = ::open(path.c_str(), files::NewFileFlags(), 0644);
  return files::UniqueHandle(fd >= 0 ? fd : files::kNoHandle);
}

bool WriteNewFile(const std::string& path, std::string_view bytes, unsigned mode) {
  if (!RemoveFile(path)) return false;
  files::UniqueFd out(::open(path.c_str(), files::NewFileFlags(), 0600));
  if (!out.valid()) return false;
  // The mode given to open() is narrowed by the umask; fchmod is not.
  const bool ok = files::WriteAll(out.get(), bytes) &&
                  ::fchmod(out.get(), static_cast<mode_t>(mode & 07777)) == 0 && out.Close();
  if (!ok) ::unlink(path.c_str());
  return ok;
}

}  // namespace tarvelin
