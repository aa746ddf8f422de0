// libFuzzer target: any bytes as a package, through the tool's three
// commands: `l` with a mask, `r`, and `x -v` into a scratch folder. Where
// the engine's own fuzzer stops at the tables, this one goes on through the
// catalogue, the folder walk, the registry script and the media walk.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "extract_package.h"
#include "main/run_driver.h"

namespace {

namespace fs = std::filesystem;

struct Scratch {
  Scratch() {
    char pattern[] = "/tmp/fuzz-commands-XXXXXX";
    if (mkdtemp(pattern) == nullptr) abort();
    folder = pattern;
    // The tool's lines are of no interest here.
    int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, STDOUT_FILENO) < 0) abort();
    close(null);
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
  Scratch& scratch = TheScratch();
  const std::string package = (scratch.folder / "package.msi").string();
  fuzz_support::WriteFile(package, std::string(reinterpret_cast<const char*>(data), size));
  const std::string out = (scratch.folder / "out").string();
  RunPandrel({"l", package, "*.t?t"});
  RunPandrel({"r", package});
  RunPandrel({"x", "-v", package, "*", out});
  std::error_code ignored;
  fs::remove_all(out, ignored);
  return 0;
}
