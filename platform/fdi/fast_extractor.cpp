#include "fdi/fast_extractor.h"

#include <mspack.h>

#include <cstdint>

namespace fdi {

FastExtractor::FastExtractor(Context& context, CabinetSet& set)
    : context_(context), set_(set), folders_(context.callbacks), mszip_(context.callbacks) {}

bool FastExtractor::Takes(std::size_t volume, std::size_t folder) {
  return CodecFor(volume, folder) != nullptr;
}

Result FastExtractor::Extract(std::size_t volume, std::size_t entry, intptr_t output) {
  const CabinetDirectory& directory = set_.directory(volume);
  if (entry >= directory.entries.size()) return {FDIERROR_CORRUPT_CABINET};
  const CabinetEntry& item = directory.entries[entry];
  const std::size_t folder = directory.FolderOf(item);
  BlockCodec* codec = CodecFor(volume, folder);
  if (codec == nullptr) return {FDIERROR_MDI_FAIL};  // not a folder it takes
  return FromDecoderError(folders_.Extract(*codec, set_.path(volume), folder,
                                           directory.folder_data[folder], item.folder_offset,
                                           item.size, output));
}

bool FastExtractor::HandsOver(std::size_t volume, std::size_t folder, const Result& failure) {
  if (failure.decoder_error != MSPACK_ERR_DATAFORMAT) return false;
  // Only LZX folders are handed over.
  BlockCodec* codec = CodecFor(volume, folder);
  if (codec == nullptr || !lzx_ || codec != &*lzx_) return false;
  lzx_slow_folder_ = folder;
  return true;
}

BlockCodec* FastExtractor::Ready(BlockCodec& codec, Readiness& state) {
  if (state == Readiness::kUntried)
    state = folders_.Prepare() && codec.Prepare() ? Readiness::kUsable : Readiness::kUnusable;
  return state == Readiness::kUsable ? &codec : nullptr;
}

BlockCodec* FastExtractor::CodecFor(std::size_t volume, std::size_t folder) {
  if (volume != 0) return nullptr;
  const CabinetDirectory& directory = set_.directory(volume);
  if (folder >= directory.folder_compression.size()) return nullptr;
  if ((directory.header.flags & kHeaderHasPrevious) != 0 && folder == 0) return nullptr;
  if ((directory.header.flags & kHeaderHasNext) != 0 &&
      folder + 1 == directory.folder_compression.size())
    return nullptr;
  const std::uint16_t compression = directory.folder_compression[folder];
  unsigned window_bits = 0;
  if ((compression & 0x0F) == MSCAB_COMP_NONE && context_.fast_stored)
    return Ready(stored_, stored_state_);
  if ((compression & 0x0F) == MSCAB_COMP_MSZIP && context_.fast_mszip)
    return Ready(mszip_, mszip_state_);
  if (context_.fast_lzx && folder != lzx_slow_folder_ &&
      LzxCodec::WindowBitsOf(compression, &window_bits)) {
    if (!lzx_ || lzx_window_bits_ != window_bits) {
      lzx_.reset();
      lzx_.emplace(context_.callbacks, window_bits);
      lzx_window_bits_ = window_bits;
      lzx_usable_ = folders_.Prepare() && lzx_->Prepare();
    }
    return lzx_usable_ ? &*lzx_ : nullptr;
  }
  return nullptr;
}

}  // namespace fdi
