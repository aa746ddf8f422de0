#include "host/tree_move.h"

#include "files/unique_dir.h"
#include "files/unique_fd.h"
#include "host/posix/copy_all.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

namespace tarvelin {

namespace {

// The names in `folder` other than "." and "..", or nothing when it cannot
// be read.
std::optional<std::vector<std::string>> ListFolder(const std::string& folder) {
  files::UniqueDir dir = files::UniqueDir::Open(folder);
  if (!dir) return std::nullopt;
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) break;
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  if (errno != 0) return std::nullopt;
  return names;
}

// Copies the regular file `source` beside `target` under a fresh temporary
// name and renames it over `target`: the target is whole or untouched.
bool CopyInPlace(const std::string& source, const struct stat& info, const std::string& target,
                 const std::string& target_folder) {
  files::UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!in.valid()) return false;
  std::string part = target_folder + "/.tarvelin-part-XXXXXX";
  files::UniqueFd out(::mkostemp(part.data(), O_CLOEXEC));
  if (!out.valid()) return false;
  const struct timespec times[2] = {info.st_atim, info.st_mtim};
  bool ok = CopyAll(in.get(), out.get()) && ::fchmod(out.get(), info.st_mode & 07777) == 0 &&
            ::futimens(out.get(), times) == 0;
  ok = out.Close() && ok;
  ok = ok && ::rename(part.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(part.c_str());
  return ok;
}

bool MoveEntry(const std::string& source, const std::string& target,
               const std::string& target_folder);

// Moves each entry of the folder `source` into the folder `target`.
bool MoveEveryEntry(const std::string& source, const std::string& target) {
  const auto names = ListFolder(source);
  if (!names) return false;
  for (const std::string& name : *names) {
    if (!MoveEntry(source + "/" + name, target + "/" + name, target)) return false;
  }
  return true;
}

// Merges the folder `source` into `target` (which may be missing).
bool MoveFolder(const std::string& source, const struct stat& info, const std::string& target) {
  struct stat existing {};
  bool created = false;
  if (::stat(target.c_str(), &existing) != 0) {
    if (errno != ENOENT) return false;
    if (::rename(source.c_str(), target.c_str()) == 0) return true;
    if (errno != EXDEV || ::mkdir(target.c_str(), 0700) != 0) return false;
    created = true;
  } else if (!S_ISDIR(existing.st_mode)) {
    return false;
  }
  if (!MoveEveryEntry(source, target)) return false;
  if (created) {
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    ::chmod(target.c_str(), info.st_mode & 07777);
    ::utimensat(AT_FDCWD, target.c_str(), times, 0);
  }
  // The emptied source folder goes; one that cannot is harmless.
  ::rmdir(source.c_str());
  return true;
}

bool MoveEntry(const std::string& source, const std::string& target,
               const std::string& target_folder) {
  struct stat info {};
  if (::lstat(source.c_str(), &info) != 0) return false;
  if (S_ISDIR(info.st_mode)) return MoveFolder(source, info, target);

  struct stat existing {};
  if (::lstat(target.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) return false;
  if (::rename(source.c_str(), target.c_str()) == 0) return true;
  if (errno != EXDEV || !S_ISREG(info.st_mode)) return false;
  return CopyInPlace(source, info, target, target_folder) && ::unlink(source.c_str()) == 0;
}

}  // namespace

bool MoveFolderContents(const std::string& source, const std::string& target) {
  struct stat existing {};
  if (::stat(target.c_str(), &existing) != 0) {
    if (errno != ENOENT || ::mkdir(target.c_str(), 0777) != 0) return false;
  } else if (!S_ISDIR(existing.st_mode)) {
    return false;
  }
  return MoveEveryEntry(source, target);
}

std::optional<bool> PrepareResultFolder(const std::string& folder) {
  bool created = false;
  if (::mkdir(folder.c_str(), 0777) == 0) {
    created = true;
  } else if (errno != EEXIST) {
    return std::nullopt;
  }
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
  std::string probe = folder + "/.tarvelin-probe-XXXXXX";
  files::UniqueFd fd(::mkostemp(probe.data(), O_CLOEXEC));
  if (!fd.valid()) {
    if (created) ::rmdir(folder.c_str());
    return std::nullopt;
  }
  fd.Close();
  ::unlink(probe.c_str());
  return created;
}

}  // namespace tarvelin
