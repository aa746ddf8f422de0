#include "host/tree_move.h"

#include <windows.h>

#include <vector>

#include "files/windows/wide_text.h"
#include "host/windows/folder_entries.h"

namespace tarvelin {

namespace {

bool IsFolderAttributes(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A name in `folder` that nothing stands at, for a file of this process.
std::wstring FreshName(const std::wstring& folder, const wchar_t* prefix) {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  for (int attempt = 0; attempt < 64; ++attempt) {
    const std::wstring path = folder + L"\\" + prefix + std::to_wstring(GetCurrentProcessId()) +
                              L"-" + std::to_wstring(now.QuadPart + attempt);
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return path;
  }
  return {};
}

// Copies the file `source` beside `target` under a fresh name and moves it
// over `target`: the target is whole or untouched. The copy keeps the
// source's last-write time and attributes.
bool CopyInPlace(const std::wstring& source, const std::wstring& target,
                 const std::wstring& target_folder) {
  const std::wstring part = FreshName(target_folder, L".tarvelin-part-");
  if (part.empty() || !CopyFileExW(source.c_str(), part.c_str(), nullptr, nullptr, nullptr,
                                   COPY_FILE_FAIL_IF_EXISTS))
    return false;
  if (MoveFileExW(part.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  RemoveNonFolder(part, GetFileAttributesW(part.c_str()));
  return false;
}

// Gives the folder `folder` the times `times` (those of the folder it was
// made for).
void SetFolderTimes(const std::wstring& folder, const FILETIME (&times)[3]) {
  const HANDLE handle = CreateFileW(
      folder.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  SetFileTime(handle, &times[0], &times[1], &times[2]);
  CloseHandle(handle);
}

// One folder whose entries are to move, or (`emptied`) one whose entries
// have moved and that is finished: its times set when it was made here, the
// emptied source removed.
struct Step {
  std::wstring source;
  std::wstring target;
  bool emptied = false;
  bool created = false;
  FILETIME times[3] = {};  // creation, last access, last write
};

// Moves one non-folder entry (a file, or a link as itself).
bool MoveNonFolder(const std::wstring& source, DWORD attributes, const std::wstring& target,
                   const std::wstring& target_folder) {
  const DWORD standing = GetFileAttributesW(target.c_str());
  if (IsFolderAttributes(standing) && (standing & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
  if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  if (GetLastError() != ERROR_NOT_SAME_DEVICE || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    return false;
  return CopyInPlace(source, target, target_folder) && RemoveNonFolder(source, attributes);
}

// Moves every entry of the folder `source` into the folder `target`. The
// walk keeps its own stack, so that a tree of any depth moves without deep
// recursion; it stops at the first entry that cannot be moved.
bool MoveEveryEntry(const std::wstring& source, const std::wstring& target) {
  std::vector<Step> steps(1);
  steps[0].source = source;
  steps[0].target = target;
  while (!steps.empty()) {
    Step step = std::move(steps.back());
    steps.pop_back();
    if (step.emptied) {
      if (step.created) SetFolderTimes(step.target, step.times);
      // The emptied source folder goes; one that cannot is harmless.
      if (step.source != source) RemoveDirectoryW(step.source.c_str());
      continue;
    }
    const auto entries = ListFolder(step.source);
    if (!entries) return false;
    steps.push_back(step);
    steps.back().emptied = true;
    for (const FolderEntry& entry : *entries) {
      const std::wstring from = step.source + L"\\" + entry.name;
      const std::wstring to = step.target + L"\\" + entry.name;
      if (!entry.IsFolder()) {
        if (!MoveNonFolder(from, entry.attributes, to, step.target)) return false;
        continue;
      }
      Step folder{from, to};
      const DWORD standing = GetFileAttributesW(to.c_str());
      if (standing == INVALID_FILE_ATTRIBUTES) {
        // Renamed whole where it can be; across drives made anew and filled.
        if (MoveFileExW(from.c_str(), to.c_str(), 0)) continue;
        if (GetLastError() != ERROR_NOT_SAME_DEVICE || !CreateDirectoryW(to.c_str(), nullptr))
          return false;
        folder.created = true;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (GetFileAttributesExW(from.c_str(), GetFileExInfoStandard, &data)) {
          folder.times[0] = data.ftCreationTime;
          folder.times[1] = data.ftLastAccessTime;
          folder.times[2] = data.ftLastWriteTime;
        } else {
          folder.created = false;
        }
      } else if (!IsFolderAttributes(standing)) {
        return false;
      }
      steps.push_back(std::move(folder));
    }
  }
  return true;
}

}  // namespace

bool MoveFolderContents(const std::string& source, const std::string& target) {
  const std::wstring from = files::LongPath(source);
  const std::wstring to = files::LongPath(target);
  if (from.empty() || to.empty()) return false;
  if (!CreateDirectoryW(to.c_str(), nullptr) && !IsFolderAttributes(GetFileAttributesW(to.c_str())))
    return false;
  return MoveEveryEntry(from, to);
}

std::optional<bool> PrepareResultFolder(const std::string& folder) {
  const std::wstring path = files::LongPath(folder);
  if (path.empty()) return std::nullopt;
  bool created = false;
  if (CreateDirectoryW(path.c_str(), nullptr)) {
    created = true;
  } else if (GetLastError() != ERROR_ALREADY_EXISTS ||
             !IsFolderAttributes(GetFileAttributesW(path.c_str()))) {
    return std::nullopt;
  }
  // A probe file, gone again when closed.
  const std::wstring probe = FreshName(path, L".tarvelin-probe-");
  const HANDLE handle =
      probe.empty() ? INVALID_HANDLE_VALUE
                    : CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    if (created) RemoveDirectoryW(path.c_str());
    return std::nullopt;
  }
  CloseHandle(handle);
  return created;
}

}  // namespace tarvelin
