// libFuzzer target: any bytes as the cabinet of a small package, extracted
// with `x` into a scratch folder. The first byte picks where the cabinet
// lies (inside the package or beside it) and whether `-v` is given; the rest
// is the cabinet.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "extract_package.h"
#include "main/run_driver.h"

namespace {

namespace fs = std::filesystem;

struct Scratch {
  Scratch() {
    char pattern[] = "/tmp/fuzz-extract-XXXXXX";
    if (mkdtemp(pattern) == nullptr) abort();
    folder = pattern;
    // The tool's lines are of no interest here.
    int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, STDOUT_FILENO) < 0) abort();
    close(null);
    fuzz_support::WriteFile(folder / "outside.msi", fuzz_support::ExtractPackage(false, ""));
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
  fs::path folder;
};

Scratch& TheScratch() {
  static Scratch scratch;
  return scratch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  Scratch& scratch = TheScratch();
  const bool inside = (data[0] & 1) != 0;
  const bool verbose = (data[0] & 2) != 0;
  const std::string cabinet(reinterpret_cast<const char*>(data) + 1, size - 1);

  std::string package = (scratch.folder / "outside.msi").string();
  if (inside) {
    package = (scratch.folder / "inside.msi").string();
    fuzz_support::WriteFile(package, fuzz_support::ExtractPackage(true, cabinet));
  } else {
    fuzz_support::WriteFile(scratch.folder / "A.cab", cabinet);
  }
  const std::string out = (scratch.folder / "out").string();
  if (verbose) {
    RunPandrel({"x", "-v", package, "*", out});
  } else {
    RunPandrel({"x", package, "*", out});
  }
  std::error_code ignored;
  fs::remove_all(out, ignored);
  return 0;
}
