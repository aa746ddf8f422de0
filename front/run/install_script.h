// The one-line script that runs the tool's registry export with its
// standard output redirected into a file, in the two forms the hosts run.
#pragma once

#include <string>

namespace tarvelin {

// `text` between single quotes for /bin/sh, so that no character of it is
// interpreted (a single quote inside becomes '\'').
std::string ShellQuote(const std::string& text);

// The shell script's line, ended by a line feed:
// '<tool>' r '<package>' > '<output>'
std::string InstallScriptLine(const std::string& tool, const std::string& package,
                              const std::string& output);

// The names of the environment variables that hand the batch file its
// three paths.
inline constexpr char kToolVariable[] = "TARVELIN_TOOL";
inline constexpr char kPackageVariable[] = "TARVELIN_PACKAGE";
inline constexpr char kOutputVariable[] = "TARVELIN_OUTPUT";

// The batch file's line for cmd.exe, ended by CR LF:
// "%TARVELIN_TOOL%" r "%TARVELIN_PACKAGE%" > "%TARVELIN_OUTPUT%"
// The paths come from the environment, never from the file's bytes: cmd.exe
// reads a batch file in the console's code page, which may not hold the
// characters of a path, and it would expand a "%" written there. A
// variable's value is expanded once, and between double quotes "&", "^",
// "|", "<", ">" and blanks are plain characters; "!" is, with delayed
// expansion off (cmd.exe /v:off).
std::string BatchScriptLine();

}  // namespace tarvelin
