#include "files/target_tree.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace files {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The kernel's way to open a path below a folder through folders alone; -1
// with errno ENOSYS where it has none (an older kernel, a filter).
int OpenBeneath(int folder, const char* path) {
#ifdef SYS_openat2
  open_how how{};
  how.flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  long fd;
  do {
    fd = syscall(SYS_openat2, folder, path, &how, sizeof how);
  } while (fd < 0 && errno == EAGAIN);
  return static_cast<int>(fd);
#else
  (void)folder;
  (void)path;
  errno = ENOSYS;
  return -1;
#endif
}

}  // namespace

int FolderProblem(const std::string& folder) {
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0) return errno;
  if (!S_ISDIR(info.st_mode)) return ENOTDIR;
  if (access(folder.c_str(), W_OK | X_OK) != 0) return errno;
  return 0;
}

TargetTree::TargetTree(const std::string& folder)
    : top_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
      error_(top_.valid() ? 0 : errno) {}

UniqueFd TargetTree::OpenFolder(std::string_view relative) const {
  if (!top_) return UniqueFd();
  const std::string path = relative.empty() ? std::string(".") : std::string(relative);
  UniqueFd fd(OpenBeneath(top_.get(), path.c_str()));
  if (fd || (errno != ENOSYS && errno != EPERM)) return fd;
  // Level by level, none of them through a link.
  fd = UniqueFd(dup(top_.get()));
  std::size_t start = 0;
  while (fd && start < relative.size()) {
    std::size_t end = relative.find('/', start);
    if (end == std::string_view::npos) end = relative.size();
    const std::string_view level = relative.substr(start, end - start);
    if (!level.empty() && level != ".") fd = OpenChild(fd.get(), level);
    start = end + 1;
  }
  return fd;
}

TargetTree::Level TargetTree::MakeFolder(int folder, std::string_view name) {
  const std::string level(name);
  if (mkdirat(folder, level.c_str(), 0777) == 0) return Level::kMade;
  struct stat info {};
  if (errno != EEXIST || fstatat(folder, level.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
    return Level::kBlocked;
  if (S_ISDIR(info.st_mode)) return Level::kStood;
  return S_ISLNK(info.st_mode) ? Level::kLink : Level::kBlocked;
}

UniqueFd TargetTree::OpenChild(int folder, std::string_view name) {
  const std::string level(name);
  return UniqueFd(openat(folder, level.c_str(), kFolderFlags));
}

UniqueFd CreateNewFile(int folder, std::string_view name, int* error) {
  const std::string file(name);
  UniqueFd fd(openat(folder, file.c_str(), NewFileFlags(), 0666));
  if (!fd && error != nullptr) *error = errno;
  return fd;
}

bool IsFolderAt(int folder, std::string_view name) {
  const std::string file(name);
  struct stat info {};
  return fstatat(folder, file.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
}

bool RenameAt(int folder, std::string_view from, std::string_view to) {
  return renameat(folder, std::string(from).c_str(), folder, std::string(to).c_str()) == 0;
}

bool LinkAt(int from_folder, std::string_view from, int to_folder, std::string_view to) {
  return linkat(from_folder, std::string(from).c_str(), to_folder, std::string(to).c_str(), 0) == 0;
}

void RemoveAt(int folder, std::string_view name) { unlinkat(folder, std::string(name).c_str(), 0); }

UniqueFd CreateTemporaryFile(int folder, unsigned number, std::string* name) {
  *name = ".pandrel-" + std::to_string(getpid()) + "-" + std::to_string(number);
  return CreateNewFile(folder, *name, nullptr);
}

bool Rewind(int fd) { return lseek(fd, 0, SEEK_SET) == 0; }

bool SetLastWriteTime(int fd, time_t written) {
  const timespec times[2] = {{0, UTIME_OMIT}, {written, 0}};
  return futimens(fd, times) == 0;
}

}  // namespace files
