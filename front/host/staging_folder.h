// The private staging folder of the user and the folder of one run inside
// it. On POSIX the staging folder is `<temp>/tarvelin-<uid>`, mode 0700; on
// Windows `<temp>\tarvelin`, in the user's own temporary folder.
#pragma once

#include "files/handle.h"

#include <optional>
#include <string>

namespace tarvelin {

// The user's temporary folder: $TMPDIR when it is an absolute path, else
// "/tmp"; on Windows the folder GetTempPathW names (never the Windows
// folder's Temp, which all users share). Never ends in a separator (unless
// it is a root).
std::string SystemTempFolder();

// Makes the staging folder in `system_temp` ready for use and returns its
// path ending in a separator. The folder is created when missing (mode
// 0700); an existing one must be a real folder (not a link or other reparse
// point), on POSIX owned by the user and then set to mode 0700. Nothing
// when that cannot be ensured.
std::optional<std::string> PrepareStagingFolder(const std::string& system_temp);

// The folder of one run, "run-XXXXXX" inside the user's staging folder, made
// afresh for the run alone (mode 0700). The run holds a lock on the folder
// itself for as long as this object lives (an exclusive flock on POSIX; on
// Windows a handle that shares neither writing nor deleting): that lock
// tells a running run's folder from one left over by a program that ended
// without cleaning up. Two windows, in one process or in two, never share a
// folder.
class RunFolder {
 public:
  // Makes and locks a new run folder in `staging_folder` (ending in a
  // separator). Nothing when no folder can be made there.
  static std::optional<RunFolder> Create(const std::string& staging_folder);

  RunFolder(RunFolder&&) = default;
  RunFolder& operator=(RunFolder&&) = default;
  // Releases the lock and leaves the folder as it is.
  ~RunFolder() = default;

  // The folder's path, ending in a separator.
  const std::string& path() const { return path_; }
  // Removes the folder with everything in it, then releases the lock.
  void Remove();

 private:
  RunFolder(std::string path, files::UniqueHandle lock)
      : path_(std::move(path)), lock_(std::move(lock)) {}
  std::string path_;
  files::UniqueHandle lock_;
};

// Removes every run folder in `staging_folder` (ending in a separator) whose
// run is over: one that nobody holds locked. Locked ones, and anything else in the
// staging folder, are left alone. Returns how many were removed.
int RemoveFinishedRuns(const std::string& staging_folder);

}  // namespace tarvelin
