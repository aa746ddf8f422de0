// LZX payloads, decoded as libmspack decodes them: the folder's payloads
// form one bit stream, cut into 32768-byte frames of output; each frame ends
// on a 16-bit word of the stream, and E8 call translation (when the stream
// header asks for it) applies to each of the first 32768 frames once it is
// whole. The window (2^15 to 2^21 bytes), the trees' lengths and the three
// repeated offsets run on across the folder's blocks.
//
// Every block but a folder's last must decode to one whole frame (32768
// bytes), and a frame's bits must have come with its block or before it;
// anything else fails with MSPACK_ERR_DATAFORMAT (libmspack would read on
// into the next block), so that such a folder can be decoded another way.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fdi/block_codec.h"
#include "fdi/fdi_context.h"

namespace fdi {

struct LzxState;

class LzxCodec final : public BlockCodec {
 public:
  // `window_bits` 15 to 21 (as WindowBitsOf gives); Prepare fails otherwise.
  LzxCodec(const Callbacks& callbacks, unsigned window_bits)
      : callbacks_(callbacks), window_bits_(window_bits) {}
  ~LzxCodec() override;
  LzxCodec(const LzxCodec&) = delete;
  LzxCodec& operator=(const LzxCodec&) = delete;

  // The window bits of a CFFOLDER typeCompress that names LZX (low nibble 3,
  // window bits 15 to 21 in bits 8-12); false for anything else.
  static bool WindowBitsOf(std::uint16_t compression_type, unsigned* bits);

  bool Prepare() override;
  void StartFolder() override;
  int DecodeBlock(const unsigned char* in, std::size_t in_bytes, unsigned char* out,
                  std::size_t out_bytes, bool last) override;

 private:
  const Callbacks& callbacks_;
  unsigned window_bits_;
  LzxState* state_ = nullptr;
};

}  // namespace fdi
