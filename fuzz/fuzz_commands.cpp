// libFuzzer target: any bytes as a package, through the tool's three
// commands: `l` with a mask, `r`, and `x -v` into a scratch folder. Where
// the engine's own fuzzer stops at the tables, this one goes on through the
// catalogue, the folder walk, the registry script and the media walk.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "extract_package.h"
#include "main/run_driver.h"
#include "scratch_folder.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path& scratch = fuzz_support::ScratchFolder();
  const std::string package = (scratch / "package.msi").string();
  fuzz_support::WriteFile(package, std::string(reinterpret_cast<const char*>(data), size));
  const std::string out = (scratch / "out").string();
  RunPandrel({"l", package, "*.t?t"});
  RunPandrel({"r", package});
  RunPandrel({"x", "-v", package, "*", out});
  std::error_code ignored;
  fs::remove_all(out, ignored);
  return 0;
}
