#include "msi/handle_table.h"

namespace msi {

std::uint32_t HandleTable::Add(HandleObject object) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (objects_.size() >= 0xFFFFFFFEu) return 0;
  while (next_ == 0 || objects_.count(next_) != 0) ++next_;
  const std::uint32_t handle = next_++;
  objects_.emplace(handle, Slot{std::move(object), {}});
  return handle;
}

bool HandleTable::Remove(std::uint32_t handle) {
  HandleObject released;  // destroyed after the lock is let go
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = objects_.find(handle);
    if (found == objects_.end()) return false;
    released = std::move(found->second.object);
    objects_.erase(found);
  }
  return true;
}

void HandleTable::SetReason(std::uint32_t handle, std::string reason) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (handle == 0) {
    open_failure_ = std::move(reason);
    return;
  }
  auto found = objects_.find(handle);
  if (found != objects_.end()) found->second.reason = std::move(reason);
}

std::optional<std::string> HandleTable::Reason(std::uint32_t handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (handle == 0) return open_failure_;
  auto found = objects_.find(handle);
  if (found == objects_.end()) return std::nullopt;
  return found->second.reason;
}

HandleTable& Handles() {
  static HandleTable table;
  return table;
}

}  // namespace msi
