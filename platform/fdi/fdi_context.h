// What an HFDI points to: the caller's callbacks and error record.
#pragma once

#include "fdi/fdi.h"

namespace fdi {

// The callbacks given to FDICreate, in its argument order.
struct Callbacks {
  PFNALLOC alloc;
  PFNFREE free;
  PFNOPEN open;
  PFNREAD read;
  PFNWRITE write;
  PFNCLOSE close;
  PFNSEEK seek;
};

struct Context {
  Callbacks callbacks;
  ERF* erf;  // may be null: errors are then not recorded
  // MSZIP folders wholly inside one cabinet are decoded by the fast path
  // (fdi/folder_decoder.h, fdi/mszip_codec.h); off, everything goes through libmspack.
  bool fast_mszip = true;
  // The same for LZX folders (fdi/lzx_codec.h).
  bool fast_lzx = true;
  // The same for stored folders (fdi/stored_codec.h).
  bool fast_stored = true;
};

// How a step of a copy ended: FDIERROR_NONE, or the failure with the
// decoder's own code when the decoder reported one (else 0).
struct Result {
  FDIERROR error = FDIERROR_NONE;
  int decoder_error = 0;

  bool ok() const { return error == FDIERROR_NONE; }
};

// Records a failure in the context's error record. `decoder_error` is the
// decoder's own error code, or 0.
void RecordError(Context& context, FDIERROR error, int decoder_error = 0);

}  // namespace fdi
