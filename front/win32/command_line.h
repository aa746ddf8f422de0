// What the program is asked on its command line: files to take like a drop
// (a package dropped on the program's icon among them), or its usage or
// version.
#pragma once

#include <string>
#include <vector>

namespace tarvelin {

struct CommandLine {
  bool help = false;                // -h, --help, /?
  bool version = false;             // --version
  std::vector<std::wstring> files;  // as given, in order
};

// Reads the arguments after the program's name. Every argument but the
// options above names a file.
CommandLine ReadCommandLine(const std::vector<std::wstring>& arguments);

// The arguments after the program's name, as Windows splits its command
// line.
std::vector<std::wstring> ProgramArguments();

// `path` made full against the current folder; as it is when that fails
// (the run then fails on it).
std::wstring FullPath(const std::wstring& path);

}  // namespace tarvelin
