#include "host/windows/folder_entries.h"

#include <windows.h>

#include <utility>

namespace tarvelin {

bool FolderEntry::IsFolder() const {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

std::optional<std::vector<FolderEntry>> ListFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  const std::wstring pattern = folder + (folder.ends_with(L'\\') ? L"*" : L"\\*");
  const HANDLE search =
      FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<FolderEntry> entries;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") entries.push_back({name, found.dwFileAttributes});
  } while (FindNextFileW(search, &found));
  const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(search);
  if (!complete) return std::nullopt;
  return entries;
}

bool RemoveNonFolder(const std::wstring& path, unsigned long attributes) {
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0)
    SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  // A link to a folder is a folder entry of its own: it goes as a folder,
  // which removes the link alone.
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return RemoveDirectoryW(path.c_str()) != 0;
  return DeleteFileW(path.c_str()) != 0;
}

bool RemoveTree(const std::wstring& given, bool remove_top) {
  const std::wstring folder = given.ends_with(L'\\') ? given.substr(0, given.size() - 1) : given;
  // Each folder is visited twice: first its entries are removed (its
  // folders pushed), then, once everything above it on the stack is done,
  // the folder itself goes.
  std::vector<std::pair<std::wstring, bool>> stack = {{folder, false}};
  bool complete = true;
  while (!stack.empty()) {
    auto [path, emptied] = std::move(stack.back());
    stack.pop_back();
    if (emptied) {
      if ((path != folder || remove_top) && !RemoveDirectoryW(path.c_str())) complete = false;
      continue;
    }
    stack.push_back({path, true});
    const auto entries = ListFolder(path);
    if (!entries) {
      complete = false;
      continue;
    }
    for (const FolderEntry& entry : *entries) {
      const std::wstring child = path + L"\\" + entry.name;
      if (entry.IsFolder())
        stack.push_back({child, false});
      else if (!RemoveNonFolder(child, entry.attributes))
        complete = false;
    }
  }
  return complete;
}

}  // namespace tarvelin
