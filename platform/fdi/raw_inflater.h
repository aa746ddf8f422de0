// Inflates one raw deflate stream (an MSZIP block's body after "CK") with
// ISA-L, optionally continuing from a 32 KiB preset dictionary. ISA-L is
// linked statically when the build found its static library; otherwise its
// shared library is loaded when the inflater is made, and when it is not on
// the machine the inflater reports itself unavailable, so that the caller
// decodes another way.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fdi/fdi_context.h"

struct inflate_state;

namespace fdi {

class RawInflater {
 public:
  // The preset dictionary is always this long (MSZIP's window).
  static constexpr std::size_t kDictionaryBytes = 32768;

  explicit RawInflater(const Callbacks& callbacks);
  ~RawInflater();
  RawInflater(const RawInflater&) = delete;
  RawInflater& operator=(const RawInflater&) = delete;

  // False when ISA-L is missing or its state could not be allocated.
  bool available() const { return state_ != nullptr; }

  // Inflates `in` into `out`: true when the stream ends, having produced
  // exactly `expected` bytes. `out` holds at least expected + 1 bytes, so
  // that a stream yielding more is told apart from one that ends there.
  // `dictionary` is null or kDictionaryBytes long.
  bool Inflate(const unsigned char* dictionary, const unsigned char* in, std::size_t in_bytes,
               unsigned char* out, std::size_t expected);

 private:
  struct Functions {
    void (*init)(inflate_state*) = nullptr;
    int (*set_dict)(inflate_state*, std::uint8_t*, std::uint32_t) = nullptr;
    int (*inflate)(inflate_state*) = nullptr;
  };

  const Callbacks& callbacks_;
  void* library_ = nullptr;  // the loaded shared library, when not linked
  Functions functions_;
  inflate_state* state_ = nullptr;
};

}  // namespace fdi
