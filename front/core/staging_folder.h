// The private staging folder of the user, and the staging names inside it.
#pragma once

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

// The staging names inside the staging folder `temp` (ending in "/").
struct StagingPaths {
  explicit StagingPaths(std::string temp_folder);
  std::string temp;  // ends in "/"
  std::string Tool() const { return temp + "Pandrel.exe"; }
  std::string Package() const { return temp + "tmp.msi"; }
  std::string Script() const { return temp + "INSTALL.BAT"; }
  std::string RegOutput() const { return temp + "reg.reg"; }
  std::string SourceTree() const { return temp + "SourceDir"; }
};

}  // namespace tarvelin
