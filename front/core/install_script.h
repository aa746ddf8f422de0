// The one-line shell script that runs the tool's registry export with its
// standard output redirected into a file.
#pragma once

#include <string>

namespace tarvelin {

// `text` between single quotes for /bin/sh, so that no character of it is
// interpreted (a single quote inside becomes '\'').
std::string ShellQuote(const std::string& text);

// The script's line, ended by a line feed:
// '<tool>' r '<package>' > '<output>'
std::string InstallScriptLine(const std::string& tool, const std::string& package,
                              const std::string& output);

}  // namespace tarvelin
