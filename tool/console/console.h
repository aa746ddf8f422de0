// Console lines: every line the tool prints goes to standard output as its
// bytes unchanged, followed by carriage return and line feed.
#pragma once

#include <stdexcept>
#include <string_view>

// Raised when standard output cannot take a line; the run ends with an
// unexpected failure.
class ConsoleWriteError : public std::runtime_error {
 public:
  ConsoleWriteError() : std::runtime_error("cannot write to standard output") {}
};

void ConsoleLine(std::string_view text);

// An error line: "ERROR: " and `text`. It stops nothing.
void ConsoleError(std::string_view text);

// Pushes buffered lines out; throws ConsoleWriteError when they cannot go.
void FlushConsole();

// After an unexpected failure: pushes out what standard output still holds
// and writes one last line, ignoring any failure to do so.
void ConsoleLineAfterFailure(std::string_view text) noexcept;
