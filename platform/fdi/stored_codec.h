// Stored payloads (compression type none): each block holds its bytes as
// they are, so a block whose payload is not exactly as long as the bytes it
// says it decodes to is damaged. Nothing carries across the blocks of a
// folder.
#pragma once

#include "fdi/block_codec.h"

namespace fdi {

class StoredCodec : public BlockCodec {
 public:
  bool Prepare() override { return true; }
  void StartFolder() override {}
  int DecodeBlock(const unsigned char* in, std::size_t in_bytes, unsigned char* out,
                  std::size_t out_bytes, bool last) override;
  bool PassesPayloadThrough() const override { return true; }
  int CheckBlock(std::size_t in_bytes, std::size_t out_bytes) const override;
};

}  // namespace fdi
