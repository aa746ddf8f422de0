#include "fdi/decoder_choice.h"

namespace fdi {

void UseFastMszip(HFDI hfdi, bool fast) {
  if (hfdi != nullptr) static_cast<Context*>(hfdi)->fast_mszip = fast;
}

void UseFastLzx(HFDI hfdi, bool fast) {
  if (hfdi != nullptr) static_cast<Context*>(hfdi)->fast_lzx = fast;
}

void UseFastStored(HFDI hfdi, bool fast) {
  if (hfdi != nullptr) static_cast<Context*>(hfdi)->fast_stored = fast;
}

DecoderChoice::DecoderChoice(Context& context, CabinetSet& set)
    : callbacks_(context.callbacks), set_(set), fast_(context, set), mspack_(set) {}

FolderExtractor& DecoderChoice::Choose(std::size_t volume, std::size_t folder) {
  if (fast_.Takes(volume, folder)) return fast_;
  return mspack_;
}

Result DecoderChoice::Extract(std::size_t volume, std::size_t entry, intptr_t output) {
  const CabinetDirectory& directory = set_.directory(volume);
  if (entry >= directory.entries.size()) return {FDIERROR_CORRUPT_CABINET};
  const std::size_t folder = directory.FolderOf(directory.entries[entry]);
  FolderExtractor& extractor = Choose(volume, folder);
  Result result = extractor.Extract(volume, entry, output);
  if (!result.ok() && extractor.HandsOver(volume, folder, result) &&
      RewindOutput(callbacks_, output)) {
    result = Choose(volume, folder).Extract(volume, entry, output);
  }
  return result;
}

}  // namespace fdi
