// The names under which one dropped package's results are filed.
#pragma once

#include <optional>
#include <string>

namespace tarvelin {

struct RunNames {
  std::string name;    // the package's file name, after the last separator
  std::string folder;  // the package's folder, before that separator, without it
  std::string base;    // name up to its first "." (may be empty: ".msi")

  // folder, the host's separator, base and "_EXT"
  std::string ResultFolder() const;
  // base + "_ext.reg"
  std::string RegistryScriptName() const;
};

// Splits the path of a dropped package at its last separator ("/"; on
// Windows "\" or "/"). Nothing when the path has none (no folder to file
// the results in) or the name holds no "." (no base).
std::optional<RunNames> SplitPackagePath(const std::string& path);

}  // namespace tarvelin
