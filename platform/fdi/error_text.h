// Short English reasons for the failures FDI records in an ERF: erfOper (an
// FDIERROR) and erfType (the decoder's own code, a libmspack MSPACK_ERR_*
// value, or 0). Meant to stand beside a program's own error message; the
// texts start in lower case and carry no final full stop.
#pragma once

namespace fdi {

// Why a call failed, for an FDIERROR value; "unknown error" for any other.
const char* ErrorText(int fdi_error);

// What the decoder ran into, for its code in erfType; "unknown decoder error"
// for a code it does not use.
const char* DecoderErrorText(int decoder_error);

}  // namespace fdi
