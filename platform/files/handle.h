// An open file or folder of the host, and why a file call failed: the two
// types through which the tool meets the host's files. A handle is a
// descriptor number on POSIX and a HANDLE on Windows; either way -1 is none.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace files {

using Handle = std::intptr_t;
inline constexpr Handle kNoHandle = -1;

// Closes `handle`; false when the close failed (a late write error can show
// up only here).
bool CloseHandle(Handle handle);

// Why a call failed, as the tool tells failures apart, and the host's own
// code (errno or the system error code) for the text.
struct Reason {
  enum class Kind : int { kNone = 0, kExists, kNoRoom, kLink, kOther };
  Kind kind = Kind::kNone;
  int code = 0;
  explicit operator bool() const { return kind != Kind::kNone; }
};
// The host's words for `reason`.
std::string Describe(Reason reason);

// Owns one handle and closes it when it goes.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(Handle handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, kNoHandle)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, kNoHandle));
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Handle get() const { return handle_; }
  bool valid() const { return handle_ != kNoHandle; }
  explicit operator bool() const { return valid(); }

  // Closes the handle held (if any) and takes `handle` in its place.
  void reset(Handle handle = kNoHandle) {
    const Handle old = std::exchange(handle_, handle);
    if (old != kNoHandle) CloseHandle(old);
  }
  Handle release() { return std::exchange(handle_, kNoHandle); }
  // Closes now and reports whether the close succeeded.
  bool Close() {
    const Handle handle = release();
    return handle == kNoHandle || CloseHandle(handle);
  }

 private:
  Handle handle_ = kNoHandle;
};

}  // namespace files
