// libFuzzer target: any bytes as the cabinet of a small package, extracted
// with `x` into a scratch folder. The first byte picks where the cabinet
// lies (inside the package or beside it) and whether `-v` is given; the rest
// is the cabinet.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "extract_package.h"
#include "main/run_driver.h"
#include "scratch_folder.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const fs::path& scratch = fuzz_support::ScratchFolder();
  const bool inside = (data[0] & 1) != 0;
  const bool verbose = (data[0] & 2) != 0;
  const std::string cabinet(reinterpret_cast<const char*>(data) + 1, size - 1);

  std::string package = (scratch / "outside.msi").string();
  if (!fs::exists(package))
    fuzz_support::WriteFile(package, fuzz_support::ExtractPackage(false, ""));
  if (inside) {
    package = (scratch / "inside.msi").string();
    fuzz_support::WriteFile(package, fuzz_support::ExtractPackage(true, cabinet));
  } else {
    fuzz_support::WriteFile(scratch / "A.cab", cabinet);
  }
  const std::string out = (scratch / "out").string();
  if (verbose) {
    RunPandrel({"x", "-v", package, "*", out});
  } else {
    RunPandrel({"x", package, "*", out});
  }
  std::error_code ignored;
  fs::remove_all(out, ignored);
  return 0;
}
