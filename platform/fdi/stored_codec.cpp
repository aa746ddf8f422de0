#include "fdi/stored_codec.h"

#include <mspack.h>

#include <cstring>

namespace fdi {

int StoredCodec::DecodeBlock(const unsigned char* in, std::size_t in_bytes, unsigned char* out,
                             std::size_t out_bytes, bool /*last*/) {
  if (in_bytes != out_bytes) return MSPACK_ERR_DATAFORMAT;
  std::memcpy(out, in, out_bytes);
  return MSPACK_ERR_OK;
}

}  // namespace fdi
