// The table of open handles behind the installer interface: the one piece
// of global state of the engine. Handles are non-zero and not reused while
// open; an object stays alive while its handle is open or while anything
// taken from it (a view, a record) still needs it.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>

#include "msi/database.h"
#include "msi/record.h"
#include "msi/view.h"

namespace msi {

class SummaryInfo;  // summary_info.h
using HandleObject = std::variant<std::shared_ptr<const Database>, std::shared_ptr<View>,
                                  std::shared_ptr<Record>, std::shared_ptr<const SummaryInfo>>;

class HandleTable {
 public:
  // A new handle for `object`, or 0 when every handle value is taken.
  std::uint32_t Add(HandleObject object);

  // The object of `handle` when it is open and of type T, else null.
  template <typename T>
  std::shared_ptr<T> Get(std::uint32_t handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = objects_.find(handle);
    if (found == objects_.end()) return nullptr;
    auto* object = std::get_if<std::shared_ptr<T>>(&found->second.object);
    return object == nullptr ? nullptr : *object;
  }

  // Closes `handle`; false when it was not open.
  bool Remove(std::uint32_t handle);

  // Records why a call on `handle` failed, in place of the reason recorded
  // before; nothing happens for a handle that is not open. Handle 0 keeps
  // the reason of the last database open.
  void SetReason(std::uint32_t handle, std::string reason);
  // The last reason recorded for `handle` (empty when none was); nothing
  // for a handle that is not open.
  std::optional<std::string> Reason(std::uint32_t handle);

 private:
  struct Slot {
    HandleObject object;
    std::string reason;
  };

  std::mutex mutex_;
  std::unordered_map<std::uint32_t, Slot> objects_;
  std::string open_failure_;  // the reason of handle 0
  std::uint32_t next_ = 1;
};

HandleTable& Handles();

}  // namespace msi
