#include "scratch_folder.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <system_error>

namespace fuzz_support {
namespace {

class Scratch {
 public:
  Scratch() {
    char pattern[] = "/tmp/pandrel-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) abort();
    folder_ = pattern;
    int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, STDOUT_FILENO) < 0) abort();
    close(null);
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const std::filesystem::path& folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
};

}  // namespace

const std::filesystem::path& ScratchFolder() {
  static Scratch scratch;
  return scratch.folder();
}

}  // namespace fuzz_support
