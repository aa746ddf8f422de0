#include "console/console.h"

#include <cstdio>
#include <string>

#include "console/output_format.h"
#include "console/verbose.h"

bool Verbose = false;

void ConsoleLine(std::string_view text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
      std::fwrite("\r\n", 1, 2, stdout) != 2) {
    throw ConsoleWriteError();
  }
}

void ConsoleError(std::string_view text) {
  std::string line(tool_output::kErrorWord);
  line += ": ";
  line += text;
  ConsoleLine(line);
}

void FlushConsole() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) throw ConsoleWriteError();
}

void ConsoleLineAfterFailure(std::string_view text) noexcept {
  std::fflush(stdout);
  std::clearerr(stdout);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fwrite("\r\n", 1, 2, stdout);
  std::fflush(stdout);
}
