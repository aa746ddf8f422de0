// The names under which one dropped package's results are filed.
#pragma once

#include <optional>
#include <string>

namespace tarvelin {

struct RunNames {
  std::string name;    // the package's file name, after the last "/"
  std::string folder;  // the package's folder, before that "/", without it
  std::string base;    // name up to its first "." (may be empty: ".msi")

  // folder + "/" + base + "_EXT"
  std::string ResultFolder() const;
  // base + "_ext.reg"
  std::string RegistryScriptName() const;
};

// Splits the path of a dropped package. Nothing when the path has no "/"
// (no folder to file the results in) or the name holds no "." (no base).
std::optional<RunNames> SplitPackagePath(const std::string& path);

}  // namespace tarvelin
