// The seam between a copy and the decoders: a folder extractor writes the
// decoded bytes of one entry of a cabinet set (fdi/cabinet_set.h) to the
// handle the callee gave for it. There are two: our fast path
// (fdi/fast_extractor.h), for stored, MSZIP and LZX folders that lie wholly inside
// the cabinet named to the copy, and libmspack (fdi/mspack_extractor.h), for
// everything. fdi/decoder_choice.h picks one for each entry.
//
// Entries come in the order the copy handles them; an extractor may keep
// what it decoded of a folder for the entries after. It writes with pfnwrite
// only, never closes the handle, and takes all its memory from pfnalloc.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fdi/fdi_context.h"

namespace fdi {

class FolderExtractor {
 public:
  virtual ~FolderExtractor() = default;

  // Whether this extractor decodes folder `folder` of the set's volume
  // `volume`; asked before each entry. It may make its buffers here: when
  // memory runs out or it cannot work on this machine, it answers false
  // and another extractor takes the folder.
  virtual bool Takes(std::size_t volume, std::size_t folder) = 0;

  // Writes the whole of entry `entry` of volume `volume` (in a folder it
  // takes) to `output`, from the handle's current position. Success, or the
  // failure with the libmspack error code that names it (for one that the
  // decoder did not report, code 0).
  virtual Result Extract(std::size_t volume, std::size_t entry, intptr_t output) = 0;

  // After Extract failed with `failure` on an entry of `folder` of
  // `volume`: true when this extractor leaves that folder (the entry and the
  // rest of the folder) to another one, which writes the entry again from
  // its first byte; it then no longer takes the folder. False: the failure
  // stands.
  virtual bool HandsOver(std::size_t /*volume*/, std::size_t /*folder*/,
                         const Result& /*failure*/) {
    return false;
  }
};

// Rewinds an entry's output handle to its first byte with the caller's
// pfnseek (the only way FDI has to move on a handle), so that an entry
// whose writing was given up on can be written again from the start. The
// entry is written again at its full length, so whatever the first attempt
// wrote is overwritten. False when the handle cannot seek.
bool RewindOutput(const Callbacks& callbacks, intptr_t output);

}  // namespace fdi
