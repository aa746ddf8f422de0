// One extraction run: from a drop on the list to the filed results.
#pragma once

#include <string_view>

#include "run/run_window.h"

namespace tarvelin {

enum class RunOutcome {
  kFailed,     // "错误！" was shown; the window waits for the next drop
  kSucceeded,  // the results are filed; the program ends
};

// Stages `tool` (the whole executable image of the embedded tool; empty
// when it could not be loaded) in a folder of this run alone, has the tool
// extract the package where it lies (so that it finds the cabinets beside
// it) into that folder and export the package's registry entries (each time
// after the user's confirmation and the tool's end), files the registry
// script with the tree, moves the tree beside the package into "<base>_EXT"
// and removes the run's folder. A run whose tool reports ERROR lines, ends
// with another exit code than 0 or cannot be started fails, but files what
// was extracted all the same.
RunOutcome RunExtraction(RunWindow& window, std::string_view tool);

}  // namespace tarvelin
