// The scratch folder a fuzz target runs the tool in, made once per process
// and removed at its end; standard output goes to /dev/null meanwhile, as
// the tool's lines are of no interest.
#pragma once

#include <filesystem>

namespace fuzz_support {

// The process's scratch folder, made at the first call.
const std::filesystem::path& ScratchFolder();

}  // namespace fuzz_support
