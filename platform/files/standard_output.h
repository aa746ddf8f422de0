// The process's standard output, as the tool writes it: bytes in, the same
// bytes out to a file or a pipe. On Windows a console window is given the
// text's characters instead (the bytes are UTF-8), whatever the console's
// code page.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace files {

// Sets standard output up for the tool's writes: buffered, binary.
void SetUpStandardOutput();
// False when the bytes cannot be taken.
bool WriteStandardOutput(std::string_view bytes);
// Pushes out what is buffered; false when it cannot go.
bool FlushStandardOutput();
// After a failure: forgets it, so that one last line may still be tried.
void ClearStandardOutputError();

// The process's whole command line as UTF-8, where the host hands one over
// as a text (Windows); nothing where it hands over separate arguments
// (POSIX), which are then taken as they are.
std::optional<std::string> ProcessCommandLine();

}  // namespace files
