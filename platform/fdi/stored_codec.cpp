#include "fdi/stored_codec.h"

#include <mspack.h>

#include <cstring>

namespace fdi {

int StoredCodec::DecodeBlock(const unsigned char* in, std::size_t in_bytes, unsigned char* out,
                             std::size_t out_bytes, bool /*last*/) {
  const int error = CheckBlock(in_bytes, out_bytes);
  if (error == MSPACK_ERR_OK) std::memcpy(out, in, out_bytes);
  return error;
}

int StoredCodec::CheckBlock(std::size_t in_bytes, std::size_t out_bytes) const {
  return in_bytes == out_bytes ? MSPACK_ERR_OK : MSPACK_ERR_DATAFORMAT;
}

}  // namespace fdi
