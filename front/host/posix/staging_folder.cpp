#include "host/staging_folder.h"

#include "files/unique_dir.h"
#include "files/unique_fd.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

namespace tarvelin {

namespace {

constexpr char kRunPrefix[] = "run-";
// Creating a run folder races only with a clean-up that removes it before it
// is locked; a handful of fresh tries is plenty.
constexpr int kCreateAttempts = 16;

// Opens the real folder `path` (never through a link) and takes the run lock
// on it without waiting. An invalid descriptor when it is not a folder, or
// when someone else holds the lock.
files::UniqueFd LockFolder(const std::string& path) {
  files::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!fd.valid() || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return files::UniqueFd();
  // The lock counts only while `path` still names the folder locked: it may
  // have been removed, or replaced, between the open and the lock.
  struct stat opened {
  }, named{};
  if (::fstat(fd.get(), &opened) != 0 || ::lstat(path.c_str(), &named) != 0 ||
      opened.st_dev != named.st_dev || opened.st_ino != named.st_ino)
    return files::UniqueFd();
  return fd;
}

void RemoveTree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

}  // namespace

std::string SystemTempFolder() {
  const char* env = std::getenv("TMPDIR");
  std::string folder = (env != nullptr && env[0] == '/') ? env : "/tmp";
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::optional<std::string> PrepareStagingFolder(const std::string& system_temp) {
  const std::string base = system_temp == "/" ? "" : system_temp;
  const std::string folder = base + "/tarvelin-" + std::to_string(getuid());
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
  // lstat: a symbolic link planted by someone else is refused, never followed.
  struct stat info {};
  if (lstat(folder.c_str(), &info) != 0) return std::nullopt;
  if (!S_ISDIR(info.st_mode) || info.st_uid != getuid()) return std::nullopt;
  if ((info.st_mode & 07777) != 0700 && chmod(folder.c_str(), 0700) != 0) return std::nullopt;
  return folder + "/";
}

std::optional<RunFolder> RunFolder::Create(const std::string& staging_folder) {
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    std::string path = staging_folder + kRunPrefix + "XXXXXX";
    if (::mkdtemp(path.data()) == nullptr) return std::nullopt;
    // A clean-up of another window may see the new folder before it is
    // locked and take it away: then it is left to that clean-up, and a new
    // one is made.
    files::UniqueFd lock = LockFolder(path);
    if (lock.valid()) return RunFolder(path + "/", files::UniqueHandle(lock.release()));
  }
  return std::nullopt;
}

void RunFolder::Remove() {
  if (!lock_.valid()) return;
  RemoveTree(path_);
  lock_.Close();
}

int RemoveFinishedRuns(const std::string& staging_folder) {
  std::vector<std::string> runs;
  {
    files::UniqueDir dir = files::UniqueDir::Open(staging_folder);
    if (!dir) return 0;
    while (const dirent* entry = ::readdir(dir.get())) {
      const std::string name = entry->d_name;
      if (name.rfind(kRunPrefix, 0) == 0) runs.push_back(staging_folder + name);
    }
  }
  int removed = 0;
  for (const std::string& run : runs) {
    // Held for the removal, so that no new run can take the folder meanwhile.
    files::UniqueFd lock = LockFolder(run);
    if (!lock.valid()) continue;
    RemoveTree(run);
    ++removed;
  }
  return removed;
}

}  // namespace tarvelin
