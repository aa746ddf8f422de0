#include "host/install_script_run.h"

#include "run/install_script.h"

namespace tarvelin {

std::optional<InstallScript> MakeInstallScript(const StagingPaths& staging,
                                               const std::string& package) {
  InstallScript made;
  made.text = InstallScriptLine(staging.Tool(), package, staging.RegOutput());
  made.child.program = "/bin/sh";
  made.child.arguments = {staging.Script()};
  made.child.working_folder = staging.temp;
  return made;
}

}  // namespace tarvelin
