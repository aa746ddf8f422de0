#include "core/staging_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace tarvelin {

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

StagingPaths::StagingPaths(std::string temp_folder) : temp(std::move(temp_folder)) {}

}  // namespace tarvelin
