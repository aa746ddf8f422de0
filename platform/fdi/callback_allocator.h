// A standard allocator that takes memory from the caller's pfnalloc and
// returns it with pfnfree, so that every container the decompressor keeps
// draws on the memory the caller provides.
#pragma once

#include <cstddef>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "fdi/fdi_context.h"

namespace fdi {

template <class T>
class CallbackAllocator {
 public:
  using value_type = T;

  explicit CallbackAllocator(const Callbacks& callbacks) noexcept : callbacks_(&callbacks) {}
  template <class U>
  CallbackAllocator(const CallbackAllocator<U>& other) noexcept  // NOLINT: rebinding
      : callbacks_(other.callbacks()) {}

  T* allocate(std::size_t count) {
    if (count > std::numeric_limits<unsigned long>::max() / sizeof(T)) throw std::bad_alloc();
    void* block = callbacks_->alloc(static_cast<unsigned long>(count * sizeof(T)));
    if (block == nullptr) throw std::bad_alloc();
    return static_cast<T*>(block);
  }
  void deallocate(T* block, std::size_t) noexcept { callbacks_->free(block); }

  const Callbacks* callbacks() const noexcept { return callbacks_; }
  friend bool operator==(const CallbackAllocator& a, const CallbackAllocator& b) noexcept {
    return a.callbacks_ == b.callbacks_;
  }

 private:
  const Callbacks* callbacks_;
};

using CallbackString = std::basic_string<char, std::char_traits<char>, CallbackAllocator<char>>;
template <class T>
using CallbackVector = std::vector<T, CallbackAllocator<T>>;

}  // namespace fdi
