// Buffered reading of a cabinet through the caller's pfnread and pfnseek.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fdi/fdi_context.h"

namespace fdi {

class CallbackReader {
 public:
  CallbackReader(const Callbacks& callbacks, intptr_t handle)
      : callbacks_(callbacks), handle_(handle) {}
  CallbackReader(const CallbackReader&) = delete;
  CallbackReader& operator=(const CallbackReader&) = delete;

  // Reads exactly `count` bytes; false at the end of the file or on an error.
  bool Read(void* out, std::size_t count);
  // Reads bytes up to and including a NUL into `out` (which holds
  // `capacity` bytes, NUL included); false when no NUL comes in time.
  bool ReadString(char* out, std::size_t capacity);
  // Passes over `count` bytes.
  bool Skip(std::size_t count);
  // Moves to `offset` bytes from the start of the file.
  bool SeekTo(std::uint32_t offset);

 private:
  bool Fill();

  const Callbacks& callbacks_;
  intptr_t handle_;
  unsigned char buffer_[4096] = {};
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace fdi
