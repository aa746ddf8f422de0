// The staging names inside the folder of one run.
#pragma once

#include <string>
#include <utility>

#include "files/host_names.h"

namespace tarvelin {

struct StagingPaths {
  explicit StagingPaths(std::string temp_folder) : temp(std::move(temp_folder)) {}
  std::string temp;  // ends in a separator
  std::string Tool() const { return temp + "Pandrel.exe"; }
  std::string Script() const { return temp + "INSTALL.BAT"; }
  std::string RegOutput() const { return temp + "reg.reg"; }
  // The package staged for the registry export, where the host's script
  // names it by its place in the run's folder (Windows).
  std::string Package() const { return temp + "tmp.msi"; }
  // The standard output of the tool's `x`, read for its ERROR lines.
  std::string ExtractionOutput() const { return temp + "x.out"; }
  // The tool's target folder: the tool writes its tree, and nothing else of
  // the run lies there.
  std::string Output() const { return temp + "out"; }
  // Where a standard package's tree begins: its root folder is SourceDir.
  std::string SourceTree() const { return Output() + files::Separator() + "SourceDir"; }
};

}  // namespace tarvelin
