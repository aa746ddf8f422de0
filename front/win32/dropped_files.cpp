#include "win32/dropped_files.h"

#include <shellapi.h>

namespace tarvelin {

namespace {

// Gives a drop back to the system when it goes.
class DropOwner {
 public:
  explicit DropOwner(HDROP drop) : drop_(drop) {}
  DropOwner(const DropOwner&) = delete;
  DropOwner& operator=(const DropOwner&) = delete;
  ~DropOwner() { DragFinish(drop_); }

 private:
  HDROP drop_;
};

// Longer than any path Windows has (32767 characters).
constexpr UINT kLongestPath = 32768;

}  // namespace

std::vector<std::wstring> TakeDroppedFiles(HDROP drop) {
  std::vector<std::wstring> paths;
  if (drop == nullptr) return paths;
  const DropOwner owner(drop);
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    const UINT length = DragQueryFileW(drop, i, nullptr, 0);
    if (length == 0 || length >= kLongestPath) continue;
    std::wstring path(length + 1, L'\0');
    const UINT copied = DragQueryFileW(drop, i, path.data(), length + 1);
    path.resize(std::min(copied, length));
    if (!path.empty()) paths.push_back(std::move(path));
  }
  return paths;
}

}  // namespace tarvelin
