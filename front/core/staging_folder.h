// The private staging folder of the user, the folder of one run inside it,
// and the staging names inside that.
#pragma once

#include "files/unique_fd.h"

#include <optional>
#include <string>

namespace tarvelin {

// The system's temporary folder: $TMPDIR when it is an absolute path, else
// "/tmp". Never ends in "/" (unless it is the root).
std::string SystemTempFolder();

// Makes `<system_temp>/tarvelin-<uid>` ready for use and returns its path
// ending in "/". The folder is created with mode 0700 when missing; an
// existing one must be a real folder (not a symbolic link) owned by the
// user, and is then set to mode 0700. Nothing when that cannot be ensured.
std::optional<std::string> PrepareStagingFolder(const std::string& system_temp);

// The folder of one run, "run-XXXXXX" inside the user's staging folder, made
// afresh for the run alone (mode 0700). The run holds an exclusive flock on
// the folder itself for as long as this object lives: that lock tells a
// running run's folder from one left over by a program that ended without
// cleaning up. Two windows, in one process or in two, never share a folder.
class RunFolder {
 public:
  // Makes and locks a new run folder in `staging_folder` (ending in "/").
  // Nothing when no folder can be made there.
  static std::optional<RunFolder> Create(const std::string& staging_folder);

  RunFolder(RunFolder&&) = default;
  RunFolder& operator=(RunFolder&&) = default;
  // Releases the lock and leaves the folder as it is.
  ~RunFolder() = default;

  // The folder's path, ending in "/".
  const std::string& path() const { return path_; }
  // Removes the folder with everything in it, then releases the lock.
  void Remove();

 private:
  RunFolder(std::string path, files::UniqueFd lock)
      : path_(std::move(path)), lock_(std::move(lock)) {}
  std::string path_;
  files::UniqueFd lock_;
};

// Removes every run folder in `staging_folder` (ending in "/") whose run is
// over: one that nobody holds locked. Locked ones, and anything else in the
// staging folder, are left alone. Returns how many were removed.
int RemoveFinishedRuns(const std::string& staging_folder);

// The staging names inside the folder of one run, `temp` (ending in "/").
struct StagingPaths {
  explicit StagingPaths(std::string temp_folder);
  std::string temp;  // ends in "/"
  std::string Tool() const { return temp + "Pandrel.exe"; }
  std::string Script() const { return temp + "INSTALL.BAT"; }
  std::string RegOutput() const { return temp + "reg.reg"; }
  // The tool's target folder: the tool writes its tree, and nothing else of
  // the run lies there.
  std::string Output() const { return temp + "out"; }
  // Where a standard package's tree begins: its root folder is SourceDir.
  std::string SourceTree() const { return Output() + "/SourceDir"; }
};

}  // namespace tarvelin
