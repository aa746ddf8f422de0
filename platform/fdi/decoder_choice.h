// Chooses how an HFDI decodes MSZIP and LZX folders, so that tests can run both
// decoders over the same cabinets and compare what they write.
#pragma once

#include "fdi/fdi.h"

namespace fdi {

// `fast` true (the default): MSZIP folders wholly inside one cabinet are
// decoded by the fast path; false: every folder goes through libmspack.
void UseFastMszip(HFDI hfdi, bool fast);

// The same for LZX folders (fdi/lzx_codec.h).
void UseFastLzx(HFDI hfdi, bool fast);

}  // namespace fdi
