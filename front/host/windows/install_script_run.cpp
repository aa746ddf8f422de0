#include "host/install_script_run.h"

#include <windows.h>

#include "files/windows/wide_text.h"
#include "host/file_ops.h"
#include "run/install_script.h"

namespace tarvelin {

std::optional<InstallScript> MakeInstallScript(const StagingPaths& staging,
                                               const std::string& package) {
  const std::wstring from = files::LongPath(package);
  const std::wstring staged = files::LongPath(staging.Package());
  if (from.empty() || staged.empty() || !RemoveFile(staging.Package())) return std::nullopt;
  // A second name costs nothing; across drives the package is copied, and
  // so is a read-only one (the clean-up would take the attribute off the
  // user's own file with its second name).
  const DWORD attributes = GetFileAttributesW(from.c_str());
  const bool linkable =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) == 0;
  if (!(linkable && CreateHardLinkW(staged.c_str(), from.c_str(), nullptr)) &&
      !CopyFileExW(from.c_str(), staged.c_str(), nullptr, nullptr, nullptr,
                   COPY_FILE_FAIL_IF_EXISTS))
    return std::nullopt;
  InstallScript made;
  made.text = BatchScriptLine();
  // The system's own cmd.exe, not one that a search path or COMSPEC names.
  wchar_t system[MAX_PATH];
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::nullopt;
  made.child.program = files::Narrow(std::wstring_view(system, length)) + "\\cmd.exe";
  // /d: no AutoRun commands from the registry; /v:off: "!" is a plain
  // character whatever the registry says. The script is named in the
  // working folder: no character of the folder's path passes through
  // cmd.exe.
  made.child.arguments = {"/d", "/v:off", "/c", ".\\INSTALL.BAT"};
  made.child.working_folder = staging.temp;
  return made;
}

}  // namespace tarvelin
