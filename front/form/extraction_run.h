// One extraction run: from a drop on the list to the filed results.
#pragma once

#include "form/run_window.h"

namespace tarvelin {

enum class RunOutcome {
  kFailed,     // "错误！" was shown; the window waits for the next drop
  kSucceeded,  // the results are filed; the program ends
};

// Stages the embedded tool and the dropped package in the private staging
// folder, has the tool extract the package and export its registry entries
// (each time after the user's confirmation and the tool's end), files the
// registry script with the tree, moves the tree beside the package into
// "<base>_EXT" and cleans the staging folder up.
RunOutcome RunExtraction(RunWindow& window);

}  // namespace tarvelin
