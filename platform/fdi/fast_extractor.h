// The fast folder extractor (fdi/folder_extractor.h): our own reading of a
// folder's data blocks (fdi/folder_decoder.h) feeding the folder's codec:
// a plain copy for stored folders (fdi/stored_codec.h), ISA-L inflate for
// MSZIP (fdi/mszip_codec.h) or our LZX codec (fdi/lzx_codec.h).
//
// It takes only stored, MSZIP and LZX folders that lie wholly in the cabinet named
// to the copy (volume 0): in a set, that cabinet's first folder may have
// begun in the cabinet before and its last may go on in the next (even
// between entries, with a split block), so those stay with libmspack. MSZIP
// needs ISA-L; each decoder can be switched off on the HFDI
// (fdi/decoder_choice.h).
//
// An LZX stream whose frames do not keep to its data blocks is one that
// libmspack decodes on across them: on MSPACK_ERR_DATAFORMAT from an LZX
// folder the extractor hands the folder over and no longer takes it.
#pragma once

#include <cstddef>
#include <optional>

#include "fdi/block_codec.h"
#include "fdi/cabinet_set.h"
#include "fdi/fdi_context.h"
#include "fdi/folder_decoder.h"
#include "fdi/folder_extractor.h"
#include "fdi/lzx_codec.h"
#include "fdi/mszip_codec.h"
#include "fdi/stored_codec.h"

namespace fdi {

class FastExtractor final : public FolderExtractor {
 public:
  FastExtractor(Context& context, CabinetSet& set);

  bool Takes(std::size_t volume, std::size_t folder) override;
  Result Extract(std::size_t volume, std::size_t entry, intptr_t output) override;
  bool HandsOver(std::size_t volume, std::size_t folder, const Result& failure) override;

 private:
  // The codec for the folder (prepared), or null when it is not ours.
  BlockCodec* CodecFor(std::size_t volume, std::size_t folder);

  const Context& context_;
  CabinetSet& set_;
  FolderDecoder folders_;
  MszipCodec mszip_;
  StoredCodec stored_;
  // Whether folders_ and a codec were prepared; tried once per copy.
  enum class Readiness { kUntried, kUsable, kUnusable };
  Readiness stored_state_ = Readiness::kUntried;
  Readiness mszip_state_ = Readiness::kUntried;
  // The codec, prepared at its first use; null when it cannot work here.
  BlockCodec* Ready(BlockCodec& codec, Readiness& state);
  std::optional<LzxCodec> lzx_;  // for the window size of the last LZX folder
  unsigned lzx_window_bits_ = 0;
  bool lzx_usable_ = false;
  // The folder of volume 0 handed over to libmspack.
  std::size_t lzx_slow_folder_ = static_cast<std::size_t>(-1);
};

}  // namespace fdi
