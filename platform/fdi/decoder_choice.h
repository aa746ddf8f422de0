// Chooses how entries are decoded: on an HFDI, whether the fast path may
// decode stored, MSZIP and LZX folders at all (so that tests can run both decoders
// over the same cabinets and compare what they write); within a copy, which
// folder extractor (fdi/folder_extractor.h) writes each entry.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fdi/cabinet_set.h"
#include "fdi/fast_extractor.h"
#include "fdi/fdi.h"
#include "fdi/fdi_context.h"
#include "fdi/mspack_extractor.h"

namespace fdi {

// `fast` true (the default): MSZIP folders wholly inside one cabinet are
// decoded by the fast path; false: every folder goes through libmspack.
void UseFastMszip(HFDI hfdi, bool fast);

// The same for LZX folders (fdi/lzx_codec.h).
void UseFastLzx(HFDI hfdi, bool fast);

// The same for stored folders (fdi/stored_codec.h).
void UseFastStored(HFDI hfdi, bool fast);

// The extractors of one copy and the choice between them: the fast path for
// each folder it takes, libmspack for the rest.
class DecoderChoice {
 public:
  DecoderChoice(Context& context, CabinetSet& set);

  // Writes entry `entry` of the set's volume `volume` to `output` with the
  // extractor chosen for its folder. When the fast path hands the folder
  // over after a failure, the output is rewound (RewindOutput) and libmspack
  // writes the entry again from its first byte, and the rest of the folder
  // after it; when the output cannot be rewound, the failure stands.
  Result Extract(std::size_t volume, std::size_t entry, intptr_t output);

 private:
  FolderExtractor& Choose(std::size_t volume, std::size_t folder);

  const Callbacks& callbacks_;
  CabinetSet& set_;
  FastExtractor fast_;
  MspackExtractor mspack_;
};

}  // namespace fdi
