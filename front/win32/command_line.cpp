#include "win32/command_line.h"

#include <windows.h>

#include <shellapi.h>

#include "files/windows/wide_text.h"
#include "win32/window_owners.h"

namespace tarvelin {

CommandLine ReadCommandLine(const std::vector<std::wstring>& arguments) {
  CommandLine command;
  for (const std::wstring& argument : arguments) {
    if (argument == L"-h" || argument == L"--help" || argument == L"/?") {
      command.help = true;
    } else if (argument == L"--version") {
      command.version = true;
    } else {
      command.files.push_back(argument);
    }
  }
  return command;
}

std::vector<std::wstring> ProgramArguments() {
  int count = 0;
  const LocalMemory<LPWSTR> split(CommandLineToArgvW(GetCommandLineW(), &count));
  std::vector<std::wstring> arguments;
  if (split.get() == nullptr) return arguments;
  for (int i = 1; i < count; ++i) arguments.emplace_back(split.get()[i]);
  return arguments;
}

std::wstring FullPath(const std::wstring& path) {
  std::wstring full = files::FullWidePath(files::Narrow(path));
  return full.empty() ? path : full;
}

}  // namespace tarvelin
