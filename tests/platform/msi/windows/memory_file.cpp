#include <windows.h>

#include <atomic>

#include "files/windows/wide_text.h"
#include "memory_file.h"

namespace msi_test {

MemoryFile::MemoryFile(const std::string& bytes) {
  static std::atomic<unsigned> count{0};
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return;
  const std::wstring path = std::wstring(folder) + L"pandrel-package-" +
                            std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(count++) + L".msi";
  // Gone when the handle closes; the engine opens it beside this handle.
  file_.reset(reinterpret_cast<files::Handle>(CreateFileW(
      path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr)));
  if (!file_) return;
  const char* from = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    DWORD put = 0;
    const DWORD piece = static_cast<DWORD>(left < (1u << 30) ? left : (1u << 30));
    if (!WriteFile(reinterpret_cast<HANDLE>(file_.get()), from, piece, &put, nullptr) || put == 0)
      return;
    from += put;
    left -= put;
  }
  path_ = files::Narrow(path);
}

}  // namespace msi_test
