#include "files/target_tree.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "files/posix_flags.h"

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

int Descriptor(const Folder& folder) { return static_cast<int>(folder.handle()); }
int Descriptor(Handle handle) { return static_cast<int>(handle); }
Folder FolderOf(int fd) { return Folder(UniqueHandle(fd), std::wstring()); }

}  // namespace

Reason FolderProblem(const std::string& folder) {
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0) return ReasonOf(errno);
  if (!S_ISDIR(info.st_mode)) return ReasonOf(ENOTDIR);
  if (access(folder.c_str(), W_OK | X_OK) != 0) return ReasonOf(errno);
  return {};
}

TargetTree::TargetTree(const std::string& folder)
    : top_(FolderOf(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))),
      error_(top_.valid() ? Reason() : ReasonOf(errno)) {}

Folder TargetTree::OpenFolder(std::string_view relative) const {
  if (!top_) return Folder();
  const std::string path = relative.empty() ? std::string(".") : std::string(relative);
  Folder fd = FolderOf(OpenBeneath(Descriptor(top_), path.c_str()));
  if (fd || (errno != ENOSYS && errno != EPERM)) return fd;
  // Level by level, none of them through a link.
  fd = FolderOf(dup(Descriptor(top_)));
  std::size_t start = 0;
  while (fd && start < relative.size()) {
    std::size_t end = relative.find('/', start);
    if (end == std::string_view::npos) end = relative.size();
    const std::string_view level = relative.substr(start, end - start);
    if (!level.empty() && level != ".") fd = OpenChild(fd, level);
    start = end + 1;
  }
  return fd;
}

TargetTree::Level TargetTree::MakeFolder(const Folder& at, std::string_view name) {
  const int folder = Descriptor(at);
  const std::string level(name);
  if (mkdirat(folder, level.c_str(), 0777) == 0) return Level::kMade;
  struct stat info {};
  if (errno != EEXIST || fstatat(folder, level.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
    return Level::kBlocked;
  if (S_ISDIR(info.st_mode)) return Level::kStood;
  return S_ISLNK(info.st_mode) ? Level::kLink : Level::kBlocked;
}

Folder TargetTree::OpenChild(const Folder& folder, std::string_view name) {
  const std::string level(name);
  return FolderOf(openat(Descriptor(folder), level.c_str(), kFolderFlags));
}

UniqueHandle CreateNewFile(const Folder& folder, std::string_view name, Reason* why) {
  const std::string file(name);
  UniqueHandle fd(openat(Descriptor(folder), file.c_str(), NewFileFlags(), 0666));
  if (!fd && why != nullptr) *why = ReasonOf(errno);
  return fd;
}

bool IsFolderAt(const Folder& folder, std::string_view name) {
  const std::string file(name);
  struct stat info {};
  return fstatat(Descriptor(folder), file.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISDIR(info.st_mode);
}

bool RenameAt(const Folder& folder, std::string_view from, std::string_view to) {
  return renameat(Descriptor(folder), std::string(from).c_str(), Descriptor(folder),
                  std::string(to).c_str()) == 0;
}

bool LinkAt(const Folder& from_folder, std::string_view from, const Folder& to_folder,
            std::string_view to) {
  return linkat(Descriptor(from_folder), std::string(from).c_str(), Descriptor(to_folder),
                std::string(to).c_str(), 0) == 0;
}

void RemoveAt(const Folder& folder, std::string_view name) {
  unlinkat(Descriptor(folder), std::string(name).c_str(), 0);
}

UniqueHandle CreateTemporaryFile(const Folder& folder, unsigned number, std::string* name,
                                 Reason* why) {
  *name = ".pandrel-" + std::to_string(getpid()) + "-" + std::to_string(number);
  return CreateNewFile(folder, *name, why);
}

bool Rewind(Handle file) { return lseek(Descriptor(file), 0, SEEK_SET) == 0; }

bool SetLastWriteTime(Handle file, time_t written) {
  const timespec times[2] = {{0, UTIME_OMIT}, {written, 0}};
  return futimens(Descriptor(file), times) == 0;
}

}  // namespace files
