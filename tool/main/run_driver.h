// The run driver: banner, command line, run options, the one handler, the
// command, and the exit code.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct RunOptions {
  char command = 0;  // 'L', 'R' or 'X'
  bool verbose = false;
  std::string package;  // as given; made absolute by the run
  std::optional<std::string> mask;
  std::optional<std::string> path;
};

// Reads the arguments after the program name (empty ones already skipped).
// No value means the command line is refused.
std::optional<RunOptions> ParseCommandLine(const std::vector<std::string>& arguments);

// The arguments of the process, without the program name and without the
// empty ones: "" on the command line stands for nothing, wherever it stands.
std::vector<std::string> CountedArguments(int argc, char** argv);

// The arguments after the program name in a whole command line (UTF-8), as
// the tool splits it where the host hands one over as a text: runs of
// characters 1 to 32 separate arguments; a double quote begins or ends a
// quoted stretch, in which blanks belong to the argument; a backslash is an
// ordinary character; "" where an argument would begin is skipped; the
// count stops at the first argument that comes out empty.
std::vector<std::string> SplitCommandLine(std::string_view line);

void PrintBanner();
void PrintUsage();

// One whole run; returns the exit code: 0 done, 1 refused or failed (a
// path that cannot be made full among them), 2 the package could not be
// opened.
int RunPandrel(const std::vector<std::string>& arguments);
