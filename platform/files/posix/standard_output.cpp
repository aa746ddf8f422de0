#include "files/standard_output.h"

#include <cstdio>

namespace files {

void SetUpStandardOutput() {
  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

bool WriteStandardOutput(std::string_view bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
}

bool FlushStandardOutput() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }

void ClearStandardOutputError() { std::clearerr(stdout); }

std::optional<std::string> ProcessCommandLine() { return std::nullopt; }

}  // namespace files
