#include "fdi/mspack_extractor.h"

#include <mspack.h>

namespace fdi {

Result MspackExtractor::Extract(std::size_t volume, std::size_t entry, intptr_t output) {
  mscabd_file* file = set_.DecodedFile(volume, entry);
  if (file == nullptr) return {FDIERROR_CORRUPT_CABINET};
  MspackBridge& bridge = set_.bridge();
  mscab_decompressor* decompressor = set_.decompressor();
  bridge.SetOutput(output);
  int result = decompressor->extract(decompressor, file, bridge.OutputName());
  bridge.SetOutput(-1);
  return FromDecoderError(result);
}

}  // namespace fdi
