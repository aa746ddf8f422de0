#include "files/target_tree.h"

#include <windows.h>

#include "files/windows/wide_text.h"

// Windows' calls take paths, so each open folder keeps its full path in the
// long-path form beside its handle, and every name below it is that path,
// "\" and the name. A folder is held open without FILE_SHARE_DELETE, so
// that it cannot be renamed or replaced while the tree works in it; a level
// is a folder only when it is no reparse point, asked both by path and
// through the handle (wine shows a symbolic link's reparse point by path
// only; Windows through the handle, where nothing can swap it).

namespace files {

namespace {

std::wstring Below(const Folder& folder, std::string_view name) {
  return folder.path() + L"\\" + Widen(name);
}

bool IsReparsePoint(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsPlainFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         !IsReparsePoint(attributes);
}

// The folder at `path`, held open; with `links` false, never a reparse
// point.
Folder OpenAt(std::wstring path, bool links) {
  if (!links && !IsPlainFolder(GetFileAttributesW(path.c_str()))) return Folder();
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (links ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  UniqueHandle handle(reinterpret_cast<Handle>(
      CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, flags, nullptr)));
  if (!handle) return Folder();
  // The attributes alone (GetFileInformationByHandle would ask the volume
  // for its serial number too, which wine answers through its mount
  // manager at a round trip each).
  FILE_BASIC_INFO info{};
  if (!GetFileInformationByHandleEx(Native(handle.get()), FileBasicInfo, &info, sizeof info))
    return Folder();
  if (links ? (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0
            : !IsPlainFolder(info.FileAttributes)) {
    SetLastError(ERROR_DIRECTORY);
    return Folder();
  }
  while (path.size() > 1 && path.back() == L'\\') path.pop_back();
  return Folder(std::move(handle), std::move(path));
}

}  // namespace

Reason FolderProblem(const std::string& folder) {
  const std::wstring path = LongPath(folder);
  if (path.empty()) return ReasonOfCode(ERROR_PATH_NOT_FOUND);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return ReasonOfCode(GetLastError());
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return ReasonOfCode(ERROR_DIRECTORY);
  return {};
}

TargetTree::TargetTree(const std::string& folder) {
  std::wstring path = LongPath(folder);
  // "\\?\C:" alone would be the volume, not its root folder.
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  if (!path.empty()) top_ = OpenAt(path, true);
  if (!top_) error_ = ReasonOfCode(path.empty() ? ERROR_PATH_NOT_FOUND : GetLastError());
}

Folder TargetTree::OpenFolder(std::string_view relative) const {
  if (!top_) return Folder();
  Folder folder;  // the last level opened; none yet stands for the top
  std::size_t start = 0;
  while (start < relative.size()) {
    std::size_t end = FindSeparator(relative, start);
    if (end == std::string_view::npos) end = relative.size();
    const std::string_view level = relative.substr(start, end - start);
    if (level == "..") return Folder();
    if (!level.empty() && level != ".") {
      folder = OpenChild(folder ? folder : top_, level);
      if (!folder) return Folder();
    }
    start = end + 1;
  }
  if (folder) return folder;
  // The target folder itself: a second handle to it.
  HANDLE copy = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), Native(top_.handle()), GetCurrentProcess(), &copy, 0,
                       FALSE, DUPLICATE_SAME_ACCESS))
    return Folder();
  return Folder(UniqueHandle(reinterpret_cast<Handle>(copy)), top_.path());
}

TargetTree::Level TargetTree::MakeFolder(const Folder& folder, std::string_view name) {
  const std::wstring path = Below(folder, name);
  if (CreateDirectoryW(path.c_str(), nullptr)) return Level::kMade;
  if (GetLastError() != ERROR_ALREADY_EXISTS) return Level::kBlocked;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (IsReparsePoint(attributes)) return Level::kLink;
  return IsPlainFolder(attributes) ? Level::kStood : Level::kBlocked;
}

Folder TargetTree::OpenChild(const Folder& folder, std::string_view name) {
  return OpenAt(Below(folder, name), false);
}

UniqueHandle CreateNewFile(const Folder& folder, std::string_view name, Reason* why) {
  const std::wstring path = Below(folder, name);
  UniqueHandle file(reinterpret_cast<Handle>(
      CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
  if (!file && why != nullptr) *why = ReasonOfCode(GetLastError());
  return file;
}

bool IsFolderAt(const Folder& folder, std::string_view name) {
  return IsPlainFolder(GetFileAttributesW(Below(folder, name).c_str()));
}

bool RenameAt(const Folder& folder, std::string_view from, std::string_view to) {
  return MoveFileExW(Below(folder, from).c_str(), Below(folder, to).c_str(),
                     MOVEFILE_REPLACE_EXISTING) != 0;
}

bool LinkAt(const Folder& from_folder, std::string_view from, const Folder& to_folder,
            std::string_view to) {
  return CreateHardLinkW(Below(to_folder, to).c_str(), Below(from_folder, from).c_str(), nullptr) !=
         0;
}

void RemoveAt(const Folder& folder, std::string_view name) {
  DeleteFileW(Below(folder, name).c_str());
}

UniqueHandle CreateTemporaryFile(const Folder& folder, unsigned number, std::string* name,
                                 Reason* why) {
  *name = ".pandrel-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(number);
  return CreateNewFile(folder, *name, why);
}

bool Rewind(Handle file) {
  LARGE_INTEGER start{};
  return SetFilePointerEx(Native(file), start, nullptr, FILE_BEGIN) != 0;
}

bool SetLastWriteTime(Handle file, time_t written) {
  const std::uint64_t ticks = (static_cast<std::uint64_t>(written) + 11644473600ULL) * 10000000ULL;
  FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  return SetFileTime(Native(file), nullptr, nullptr, &time) != 0;
}

}  // namespace files
