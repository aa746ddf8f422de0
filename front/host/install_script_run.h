// How the host runs the one-line script of the registry export.
#pragma once

#include <optional>
#include <string>

#include "host/child_process.h"
#include "run/staging_paths.h"

namespace tarvelin {

struct InstallScript {
  std::string text;    // the script file's one line
  ChildCommand child;  // what runs it, in the run's folder
};

// The script, at staging.Script(), that runs the staged tool's registry
// export of `package` with its standard output in staging.RegOutput(). On
// POSIX a shell script for /bin/sh that names every path, quoted; on
// Windows a batch file for cmd.exe that names only the run's own files,
// the package staged as staging.Package() (a second name of the package
// where the drive allows, else a copy). Nothing when the package cannot be
// staged.
std::optional<InstallScript> MakeInstallScript(const StagingPaths& staging,
                                               const std::string& package);

}  // namespace tarvelin
