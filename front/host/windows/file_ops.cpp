#include "host/file_ops.h"

#include <windows.h>

#include "files/files.h"
#include "files/host_names.h"
#include "files/windows/wide_text.h"
#include "host/windows/folder_entries.h"

namespace tarvelin {

namespace {

DWORD Attributes(const std::string& path) {
  const std::wstring wide = files::LongPath(path);
  return wide.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
}

// The path by which the file system knows what stands at `path`, links
// resolved; empty when it cannot be opened.
std::wstring FinalPath(const std::string& path) {
  const std::wstring wide = files::LongPath(path);
  if (wide.empty()) return {};
  const files::UniqueHandle opened(reinterpret_cast<files::Handle>(CreateFileW(
      wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
  if (!opened) return {};
  std::wstring final(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD length = GetFinalPathNameByHandleW(files::Native(opened.get()), final.data(),
                                                   static_cast<DWORD>(final.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) return {};
    if (length < final.size()) {
      final.resize(length);
      return final;
    }
    final.resize(length);
  }
  return {};
}

bool SameIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

bool NonFolderExists(const std::string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
          (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && FolderEntry{{}, attributes}.IsFolder();
}

bool ReadableFile(const std::string& path) { return files::OpenRegularFile(path).has_value(); }

bool IsFullPath(const std::string& path) {
  const bool drive = path.size() >= 3 && ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') &&
                     path[1] == ':' && files::IsSeparator(path[2]);
  const bool share = path.size() >= 2 && files::IsSeparator(path[0]) && files::IsSeparator(path[1]);
  return drive || share;
}

bool IsInside(const std::string& path, const std::string& folder) {
  const std::wstring resolved = FinalPath(path);
  const std::wstring top = FinalPath(folder);
  if (resolved.empty() || top.empty()) return true;
  if (resolved.size() < top.size() || !SameIgnoringCase(resolved.substr(0, top.size()), top))
    return false;
  return resolved.size() == top.size() || resolved[top.size()] == L'\\' || top.back() == L'\\';
}

bool RemoveFile(const std::string& path) {
  const DWORD attributes = Attributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || !NonFolderExists(path)) return true;
  return RemoveNonFolder(files::LongPath(path), attributes) || !NonFolderExists(path);
}

bool MakePrivateFolder(const std::string& path) {
  const std::wstring wide = files::LongPath(path);
  return (!wide.empty() && CreateDirectoryW(wide.c_str(), nullptr) != 0) || IsFolder(path);
}

void RemoveEmptyFolder(const std::string& path) {
  const std::wstring wide = files::LongPath(path);
  if (!wide.empty()) RemoveDirectoryW(wide.c_str());
}

files::UniqueHandle CreateNewFile(const std::string& path) {
  const std::wstring wide = files::LongPath(path);
  if (wide.empty()) return {};
  // Never inherited by the programs the window starts.
  return files::UniqueHandle(reinterpret_cast<files::Handle>(
      CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
}

bool WriteNewFile(const std::string& path, std::string_view bytes, unsigned /*mode*/) {
  if (!RemoveFile(path)) return false;
  files::UniqueHandle out = CreateNewFile(path);
  if (!out) return false;
  const bool ok = files::WriteAll(out.get(), bytes) && out.Close();
  if (!ok) {
    out.reset();
    DeleteFileW(files::LongPath(path).c_str());
  }
  return ok;
}

}  // namespace tarvelin
