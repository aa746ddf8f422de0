// MSZIP payloads: "CK" and a raw deflate stream per block, inflated by ISA-L
// with the previous 32 KiB of the folder's output as preset dictionary, as
// MSZIP's history runs across the blocks of a folder.
#pragma once

#include "fdi/block_codec.h"
#include "fdi/fdi_context.h"
#include "fdi/raw_inflater.h"

namespace fdi {

class MszipCodec : public BlockCodec {
 public:
  explicit MszipCodec(const Callbacks& callbacks) : callbacks_(callbacks) {}
  ~MszipCodec() override;
  MszipCodec(const MszipCodec&) = delete;
  MszipCodec& operator=(const MszipCodec&) = delete;

  // False when ISA-L is missing or memory runs out.
  bool Prepare() override;
  void StartFolder() override { dictionary_ = nullptr; }
  int DecodeBlock(const unsigned char* in, std::size_t in_bytes, unsigned char* out,
                  std::size_t out_bytes, bool last) override;
  void OutputReused() override;

 private:
  const Callbacks& callbacks_;
  RawInflater* inflater_ = nullptr;
  unsigned char* window_ = nullptr;            // the dictionary, when not in the output
  const unsigned char* dictionary_ = nullptr;  // the last 32 KiB window, or null
};

}  // namespace fdi
