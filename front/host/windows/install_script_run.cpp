// Stub: replaced by the Windows implementation.
#include "host/install_script_run.h"

#include "run/install_script.h"

namespace tarvelin {

InstallScript MakeInstallScript(const std::string& folder, const std::string&, const std::string&,
                                const std::string&, const std::string&) {
  InstallScript made;
  made.text = BatchScriptLine();
  made.child.working_folder = folder;
  return made;
}

}  // namespace tarvelin
