#include "host/install_script_run.h"

#include "run/install_script.h"

namespace tarvelin {

InstallScript MakeInstallScript(const std::string& folder, const std::string& script,
                                const std::string& tool, const std::string& package,
                                const std::string& output) {
  InstallScript made;
  made.text = InstallScriptLine(tool, package, output);
  made.child.program = "/bin/sh";
  made.child.arguments = {script};
  made.child.working_folder = folder;
  return made;
}

}  // namespace tarvelin
