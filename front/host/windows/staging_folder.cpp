#include "host/staging_folder.h"

#include <windows.h>

#include <random>

#include "files/host_names.h"
#include "files/windows/wide_text.h"
#include "host/file_ops.h"
#include "host/windows/folder_entries.h"

namespace tarvelin {

namespace {

constexpr wchar_t kRunPrefix[] = L"run-";
// A finished run's folder on its way out.
constexpr wchar_t kGonePrefix[] = L"gone-";
constexpr int kCreateAttempts = 16;
constexpr int kRemoveAttempts = 100;
constexpr DWORD kRemovePauseMs = 50;

// Opens the real folder `folder` (never through a reparse point) to list
// it, sharing reading and writing but not deletion: a run's lock. Its
// children work in the folder; a rename or removal of the folder is refused
// for as long as the lock is held.
files::UniqueHandle LockFolder(const std::wstring& folder) {
  files::UniqueHandle handle(reinterpret_cast<files::Handle>(CreateFileW(
      folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)));
  if (!handle) return handle;
  FILE_BASIC_INFO info{};
  if (!GetFileInformationByHandleEx(files::Native(handle.get()), FileBasicInfo, &info,
                                    sizeof info) ||
      !FolderEntry{{}, info.FileAttributes}.IsFolder())
    return {};
  return handle;
}

std::wstring RandomSuffix(std::mt19937& random) {
  static constexpr wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
  std::wstring suffix;
  for (int i = 0; i < 6; ++i) suffix += kLetters[random() % (std::size(kLetters) - 1)];
  return suffix;
}

}  // namespace

std::string SystemTempFolder() {
  wchar_t buffer[MAX_PATH + 2];
  const DWORD length = GetTempPathW(static_cast<DWORD>(std::size(buffer)), buffer);
  if (length == 0 || length >= std::size(buffer)) return {};
  std::string folder = files::Narrow(std::wstring_view(buffer, length));
  // A root ("C:\") keeps its separator.
  while (folder.size() > 3 && files::IsSeparator(folder.back())) folder.pop_back();
  return folder;
}

std::optional<std::string> PrepareStagingFolder(const std::string& system_temp) {
  if (system_temp.empty()) return std::nullopt;
  const bool root = files::IsSeparator(system_temp.back());
  const std::string folder = system_temp + (root ? "" : "\\") + "tarvelin";
  if (!MakePrivateFolder(folder)) return std::nullopt;
  return folder + "\\";
}

std::optional<RunFolder> RunFolder::Create(const std::string& staging_folder) {
  const std::wstring staging = files::LongPath(staging_folder);
  if (staging.empty()) return std::nullopt;
  std::random_device seed;
  std::mt19937 random(seed() ^ GetCurrentProcessId() ^ static_cast<unsigned>(GetTickCount64()));
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    const std::wstring name = kRunPrefix + RandomSuffix(random);
    const std::wstring path = staging + (staging.back() == L'\\' ? L"" : L"\\") + name;
    if (!CreateDirectoryW(path.c_str(), nullptr)) {
      if (GetLastError() == ERROR_ALREADY_EXISTS) continue;
      return std::nullopt;
    }
    // A clean-up of another window may take the new folder away before it
    // is locked: then a new one is made.
    files::UniqueHandle lock = LockFolder(path);
    if (lock) return RunFolder(staging_folder + files::Narrow(name) + "\\", std::move(lock));
  }
  return std::nullopt;
}

void RunFolder::Remove() {
  if (!lock_.valid()) return;
  const std::wstring path = files::LongPath(path_);
  // A program of the run that has just ended may hold its image, its output
  // or its working folder open for a moment longer: the removal is tried
  // again for a while. What still stands goes at a later start.
  for (int attempt = 0; attempt < kRemoveAttempts; ++attempt) {
    if (attempt > 0) Sleep(kRemovePauseMs);
    if (!RemoveTree(path, false)) continue;
    // The lock refuses the folder's own removal, to this process too.
    lock_.Close();
    if (RemoveDirectoryW(path.c_str()) ||
        GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
      return;
  }
  lock_.Close();
}

int RemoveFinishedRuns(const std::string& staging_folder) {
  const std::wstring staging = files::LongPath(staging_folder);
  if (staging.empty()) return 0;
  const std::wstring folder =
      staging.back() == L'\\' ? staging.substr(0, staging.size() - 1) : staging;
  const auto entries = ListFolder(folder);
  if (!entries) return 0;
  int removed = 0;
  for (const FolderEntry& entry : *entries) {
    if (!entry.IsFolder()) continue;
    const bool run = entry.name.rfind(kRunPrefix, 0) == 0;
    if (!run && entry.name.rfind(kGonePrefix, 0) != 0) continue;
    // A run's folder is first renamed out of the runs' names: a running
    // run's lock refuses that, and once renamed no run can take it. A
    // folder renamed so by a clean-up that could not finish is removed as
    // it is.
    std::wstring gone = folder + L"\\" + entry.name;
    if (run) {
      const std::wstring renamed = folder + L"\\" + kGonePrefix + entry.name.substr(4);
      if (!MoveFileExW(gone.c_str(), renamed.c_str(), 0)) continue;
      gone = renamed;
    }
    if (RemoveTree(gone, true) && run) ++removed;
  }
  return removed;
}

}  // namespace tarvelin
