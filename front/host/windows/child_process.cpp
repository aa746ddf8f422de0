#include "host/child_process.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>

#include "files/windows/wide_text.h"

namespace tarvelin {

namespace {

// An argument as the programs the window starts split their command lines
// (the tool splits at blanks outside double quotes, backslashes plain;
// cmd.exe reads its switches unquoted): quoted only where it holds a blank
// or a control character, or is empty. Paths never hold a double quote.
std::wstring Quoted(const std::wstring& argument) {
  const bool plain = !argument.empty() && std::none_of(argument.begin(), argument.end(),
                                                       [](wchar_t c) { return c >= 1 && c <= 32; });
  return plain ? argument : L"\"" + argument + L"\"";
}

// An inheritable handle of the null device or of a new output file.
files::UniqueHandle InheritableHandle(const std::wstring& path, DWORD access, DWORD creation) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return files::UniqueHandle(reinterpret_cast<files::Handle>(
      CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, creation,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
}

// The attribute list that hands the child exactly the given handles.
class InheritedHandles {
 public:
  explicit InheritedHandles(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (size == 0 || !InitializeProcThreadAttributeList(list_, 1, 0, &size)) {
      list_ = nullptr;
      return;
    }
    if (!UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                   handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
      DeleteProcThreadAttributeList(list_);
      list_ = nullptr;
    }
  }
  ~InheritedHandles() {
    if (list_ != nullptr) DeleteProcThreadAttributeList(list_);
  }
  InheritedHandles(const InheritedHandles&) = delete;
  InheritedHandles& operator=(const InheritedHandles&) = delete;
  // Nothing when the host cannot name the handles (all inheritable ones go).
  LPPROC_THREAD_ATTRIBUTE_LIST list() const { return list_; }

 private:
  std::vector<HANDLE> handles_;
  std::vector<char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

}  // namespace

std::optional<ChildProcess> ChildProcess::Start(const ChildCommand& command) {
  const std::wstring program = files::FullWidePath(command.program);
  if (program.empty()) return std::nullopt;
  std::wstring command_line = Quoted(program);
  for (const std::string& argument : command.arguments)
    command_line += L" " + Quoted(files::Widen(argument));
  const std::wstring folder =
      command.working_folder.empty() ? std::wstring() : files::FullWidePath(command.working_folder);

  const files::UniqueHandle input = InheritableHandle(L"NUL", GENERIC_READ, OPEN_EXISTING);
  const files::UniqueHandle error = InheritableHandle(L"NUL", GENERIC_WRITE, OPEN_EXISTING);
  files::UniqueHandle output;
  if (command.output_file.empty()) {
    output = InheritableHandle(L"NUL", GENERIC_WRITE, OPEN_EXISTING);
  } else {
    const std::wstring path = files::LongPath(command.output_file);
    DeleteFileW(path.c_str());
    output = InheritableHandle(path, GENERIC_WRITE, CREATE_NEW);
  }
  if (!input || !output || !error) return std::nullopt;

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.StartupInfo.wShowWindow = SW_HIDE;
  startup.StartupInfo.hStdInput = files::Native(input.get());
  startup.StartupInfo.hStdOutput = files::Native(output.get());
  startup.StartupInfo.hStdError = files::Native(error.get());
  const InheritedHandles inherited({startup.StartupInfo.hStdInput, startup.StartupInfo.hStdOutput,
                                    startup.StartupInfo.hStdError});
  startup.lpAttributeList = inherited.list();
  DWORD flags = CREATE_NO_WINDOW;
  if (inherited.list() != nullptr) flags |= EXTENDED_STARTUPINFO_PRESENT;

  PROCESS_INFORMATION started{};
  if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup.StartupInfo, &started))
    return std::nullopt;
  CloseHandle(started.hThread);
  ChildProcess child;
  child.id_ = started.dwProcessId;
  child.process_.reset(reinterpret_cast<files::Handle>(started.hProcess));
  return child;
}

bool ChildProcess::WaitFor(int milliseconds) {
  if (ended_ || !process_) return true;
  const DWORD waited =
      WaitForSingleObject(files::Native(process_.get()),
                          milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds));
  if (waited == WAIT_TIMEOUT) return false;
  ended_ = true;
  DWORD code = 0;
  // An exit code of the error severity (0xC0000005 and the like) is a
  // crash, not an end of the program's own.
  if (waited == WAIT_OBJECT_0 && GetExitCodeProcess(files::Native(process_.get()), &code) &&
      code < 0xC0000000u)
    exit_code_ = static_cast<int>(code);
  return true;
}

void ChildProcess::Kill() {
  if (ended_ || !process_) return;
  TerminateProcess(files::Native(process_.get()), 1);
  WaitFor(-1);
  exit_code_.reset();
}

files::Handle ChildProcess::Waitable() const { return process_.get(); }

}  // namespace tarvelin
