#include "files/files.h"

#include <fcntl.h>
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <ctime>
#include <vector>

#include "files/windows/wide_text.h"

namespace files {

namespace {

DWORD Attributes(const std::string& path) {
  const std::wstring wide = LongPath(path);
  return wide.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
}

time_t TimeOfFiletime(const FILETIME& time) {
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return static_cast<time_t>(ticks / 10000000) - 11644473600LL;
}

}  // namespace

}  // namespace files

// A read at an offset, as pread is: the file's own position is not used, so
// that reads of one file from two threads do not disturb each other, and
// nothing is posted to a completion port (ReadFile with an OVERLAPPED would
// post there, a round trip through wine's server for every read).
extern "C" NTSTATUS NTAPI NtReadFile(HANDLE file, HANDLE event, PIO_APC_ROUTINE apc,
                                     PVOID apc_context, PIO_STATUS_BLOCK status, PVOID buffer,
                                     ULONG length, PLARGE_INTEGER offset, PULONG key);

namespace files {

std::string FullPathName(const std::string& path) {
  const std::wstring full = FullWidePath(path.empty() ? std::string(".") : path);
  return full.empty() ? std::string() : Narrow(full);
}

bool WriteAll(Handle handle, const void* bytes, std::size_t count, Reason* why) {
  const char* from = static_cast<const char*>(bytes);
  while (count > 0) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
    DWORD put = 0;
    if (!WriteFile(Native(handle), from, piece, &put, nullptr)) {
      *why = ReasonOfCode(GetLastError());
      return false;
    }
    if (put == 0) {
      *why = ReasonOfCode(ERROR_DISK_FULL);
      return false;
    }
    from += put;
    count -= put;
  }
  return true;
}

bool FolderExists(const std::string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const std::string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool CreateFolder(const std::string& path) {
  const std::wstring wide = LongPath(path);
  return !wide.empty() && CreateDirectoryW(wide.c_str(), nullptr) != 0;
}

std::string FolderPart(const std::string& path) {
  const std::size_t at = path.find_last_of("\\/:");
  return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

bool MakeFolderChain(const std::string& path) {
  // Walk up to the first level that exists or that is a root (a text
  // shorter than 3 characters, or one that still ends in "\" or ":" once a
  // trailing "\" is gone, as D:\ and \\server\ do), then create the missing
  // levels from the top down.
  std::vector<std::string> missing;
  std::string level = path;
  while (true) {
    if (!level.empty() && IsSeparator(level.back())) level.pop_back();
    if (level.size() < 3 || IsSeparator(level.back()) || level.back() == ':' || FolderExists(level))
      break;
    missing.push_back(level);
    const std::size_t at = level.find_last_of("\\/:");
    if (at == std::string::npos) break;
    level.resize(at + 1);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (!CreateFolder(*it) && !FolderExists(*it)) return false;
  }
  return path.empty() || FolderExists(path);
}

std::optional<ReadableFile> OpenRegularFile(const std::string& path) {
  const std::wstring wide = LongPath(path);
  if (wide.empty()) return std::nullopt;
  ReadableFile file;
  file.handle = UniqueHandle(reinterpret_cast<Handle>(CreateFileW(
      wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)));
  if (!file.handle) return std::nullopt;
  // Only a file on a disk: a pipe or a console is not waited on.
  if (GetFileType(Native(file.handle.get())) != FILE_TYPE_DISK) return std::nullopt;
  // Size and times by themselves: GetFileInformationByHandle would ask the
  // volume too (a round trip to wine's mount manager).
  FILE_STANDARD_INFO standard{};
  FILE_BASIC_INFO basic{};
  if (!GetFileInformationByHandleEx(Native(file.handle.get()), FileStandardInfo, &standard,
                                    sizeof standard) ||
      !GetFileInformationByHandleEx(Native(file.handle.get()), FileBasicInfo, &basic,
                                    sizeof basic) ||
      standard.Directory || standard.EndOfFile.QuadPart < 0)
    return std::nullopt;
  file.size = static_cast<std::uint64_t>(standard.EndOfFile.QuadPart);
  FILETIME written;
  written.dwLowDateTime = static_cast<DWORD>(basic.LastWriteTime.QuadPart);
  written.dwHighDateTime = static_cast<DWORD>(basic.LastWriteTime.QuadPart >> 32);
  file.modified = TimeOfFiletime(written);
  return file;
}

long long ReadAt(Handle handle, void* buffer, std::size_t count, std::uint64_t offset) {
  constexpr NTSTATUS kEndOfFile = static_cast<NTSTATUS>(0xC0000011L);
  if (offset > static_cast<std::uint64_t>(INT64_MAX)) return 0;
  IO_STATUS_BLOCK status{};
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  const ULONG wanted = static_cast<ULONG>(std::min<std::size_t>(count, 1u << 30));
  const NTSTATUS result =
      NtReadFile(Native(handle), nullptr, nullptr, nullptr, &status, buffer, wanted, &at, nullptr);
  if (result == kEndOfFile) return 0;
  if (result < 0) return -1;
  return static_cast<long long>(status.Information);
}

long long ReadSome(Handle handle, void* buffer, std::size_t count) {
  DWORD got = 0;
  const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 30));
  if (!ReadFile(Native(handle), buffer, wanted, &got, nullptr))
    return GetLastError() == ERROR_HANDLE_EOF || GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
  return got;
}

// Windows has no small limit on open files of its own.
std::size_t DescriptorLimit() { return 1u << 14; }

int ReadOnlyFlags() { return O_RDONLY; }

bool IsReadOnly(int open_flags) { return (open_flags & (O_WRONLY | O_RDWR)) == 0; }

time_t UtcSeconds(std::tm parts) { return _mkgmtime(&parts); }

// The file system ignores case itself: the exact name finds any spelling.
std::optional<std::string> FindFolderIgnoringCase(const std::string& folder,
                                                  const std::string& name) {
  if (!FolderExists(folder + name)) return std::nullopt;
  return folder + name + Separator();
}

std::optional<std::string> FindFileIgnoringCase(const std::string& folder,
                                                const std::string& name) {
  if (!FileExists(folder + name)) return std::nullopt;
  return folder + name;
}

}  // namespace files
