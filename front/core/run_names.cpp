#include "core/run_names.h"

namespace tarvelin {

std::string RunNames::ResultFolder() const { return folder + "/" + base + "_EXT"; }

std::string RunNames::RegistryScriptName() const { return base + "_ext.reg"; }

std::optional<RunNames> SplitPackagePath(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::nullopt;
  RunNames names;
  names.name = path.substr(slash + 1);
  names.folder = path.substr(0, slash);
  const std::size_t dot = names.name.find('.');
  if (dot == std::string::npos) return std::nullopt;
  names.base = names.name.substr(0, dot);
  return names;
}

}  // namespace tarvelin
