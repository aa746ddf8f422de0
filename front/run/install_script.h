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

// The batch file's line for cmd.exe, ended by CR LF, for a batch file run in
// the run's folder beside the tool and the staged package "tmp.msi":
// ".\Pandrel.exe" r "tmp.msi" > "reg.reg"
// No path of the user's is written in it: cmd.exe reads a batch file in the
// console's code page, which may not hold every character of a path, and
// expands "%" there (and "!", with delayed expansion on); the names it does
// hold are plain ASCII, quoted all the same.
std::string BatchScriptLine();

}  // namespace tarvelin
