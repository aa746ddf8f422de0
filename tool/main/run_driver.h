// The run driver: banner, command line, run options, the one handler, the
// command, and the exit code.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct RunOptions {
  char command = 0;  // 'L', 'R' or 'X'
  bool verbose = false;
  std::string package;  // as given; made absolute by the run
  std::optional<std::string> mask;
  std::optional<std::string> path;
};

// Reads the arguments after the program name (already cut at the first
// empty one). No value means the command line is refused.
std::optional<RunOptions> ParseCommandLine(const std::vector<std::string>& arguments);

// The arguments of the process, without the program name, counted up to the
// first empty one.
std::vector<std::string> CountedArguments(int argc, char** argv);

void PrintBanner();
void PrintUsage();

// One whole run; returns the exit code: 0 done, 1 refused or failed,
// 2 the package could not be opened.
int RunPandrel(const std::vector<std::string>& arguments);
