#include "console/console.h"

#include <string>

#include "console/output_format.h"
#include "console/verbose.h"
#include "files/standard_output.h"

bool Verbose = false;

void ConsoleLine(std::string_view text) {
  if (!files::WriteStandardOutput(text) || !files::WriteStandardOutput("\r\n")) {
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
  if (!files::FlushStandardOutput()) throw ConsoleWriteError();
}

void ConsoleLineAfterFailure(std::string_view text) noexcept {
  files::FlushStandardOutput();
  files::ClearStandardOutputError();
  files::WriteStandardOutput(text);
  files::WriteStandardOutput("\r\n");
  files::FlushStandardOutput();
}
