#include "run/run_names.h"

#include "files/host_names.h"

namespace tarvelin {

std::string RunNames::ResultFolder() const { return folder + files::Separator() + base + "_EXT"; }

std::string RunNames::RegistryScriptName() const { return base + "_ext.reg"; }

std::optional<RunNames> SplitPackagePath(const std::string& path) {
  std::size_t slash = path.size();
  while (slash > 0 && !files::IsSeparator(path[slash - 1])) --slash;
  if (slash == 0) return std::nullopt;
  RunNames names;
  names.name = path.substr(slash);
  names.folder = path.substr(0, slash - 1);
  const std::size_t dot = names.name.find('.');
  if (dot == std::string::npos) return std::nullopt;
  names.base = names.name.substr(0, dot);
  return names;
}

}  // namespace tarvelin
