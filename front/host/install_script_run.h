// How the host runs the one-line script of the registry export.
#pragma once

#include <string>

#include "host/child_process.h"

namespace tarvelin {

struct InstallScript {
  std::string text;  // the script file's one line
  ChildSpec child;   // what runs it
};

// The script at `script` (in the run's folder `folder`) that runs `tool`'s
// registry export of `package` with its standard output in `output`: on
// POSIX a shell script for /bin/sh, on Windows a batch file for cmd.exe
// (run/install_script.h has both lines).
InstallScript MakeInstallScript(const std::string& folder, const std::string& script,
                                const std::string& tool, const std::string& package,
                                const std::string& output);

}  // namespace tarvelin
