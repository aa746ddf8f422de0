#include "run/install_script.h"

namespace tarvelin {

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'')
      quoted += "'\\''";
    else
      quoted += c;
  }
  return quoted + "'";
}

std::string InstallScriptLine(const std::string& tool, const std::string& package,
                              const std::string& output) {
  return ShellQuote(tool) + " r " + ShellQuote(package) + " > " + ShellQuote(output) + "\n";
}

std::string BatchScriptLine() { return "\".\\Pandrel.exe\" r \"tmp.msi\" > \"reg.reg\"\r\n"; }

}  // namespace tarvelin
