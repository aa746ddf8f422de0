// pandrel: lists, extracts and exports the registry entries of Windows
// Installer packages.
#include <optional>
#include <string>

#include "files/standard_output.h"
#include "main/run_driver.h"

int main(int argc, char** argv) {
  files::SetUpStandardOutput();
  // Where the host hands the command line over whole (Windows, as UTF-16),
  // the tool splits it by its own rules; elsewhere the arguments are taken
  // as given.
  const std::optional<std::string> line = files::ProcessCommandLine();
  return RunPandrel(line ? SplitCommandLine(*line) : CountedArguments(argc, argv));
}
