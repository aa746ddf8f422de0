#include "fdi/error_text.h"

#include <mspack.h>

#include "fdi/fdi.h"

namespace fdi {

const char* ErrorText(int fdi_error) {
  switch (fdi_error) {
    case FDIERROR_NONE:
      return "no error";
    case FDIERROR_CABINET_NOT_FOUND:
      return "the cabinet, or the next cabinet of the set, could not be opened";
    case FDIERROR_NOT_A_CABINET:
      return "not a cabinet";
    case FDIERROR_UNKNOWN_CABINET_VERSION:
      return "the cabinet's format version is not supported";
    case FDIERROR_CORRUPT_CABINET:
      return "the cabinet's data is damaged (checksum or decoding failed)";
    case FDIERROR_ALLOC_FAIL:
      return "out of memory";
    case FDIERROR_BAD_COMPR_TYPE:
      return "the cabinet uses an unknown compression type";
    case FDIERROR_MDI_FAIL:
      return "the decoder could not be used (bad arguments or an internal failure)";
    case FDIERROR_TARGET_FILE:
      return "a file could not be written";
    case FDIERROR_RESERVE_MISMATCH:
      return "the cabinet's reserved areas do not match the set's";
    case FDIERROR_WRONG_CABINET:
      return "the next cabinet found is not the next one of the set";
    case FDIERROR_USER_ABORT:
      return "the copy was aborted by the caller";
    case FDIERROR_EOF:
      return "the cabinet ends too early";
    default:
      return "unknown error";
  }
}

const char* DecoderErrorText(int decoder_error) {
  switch (decoder_error) {
    case MSPACK_ERR_OK:
      return "no decoder error";
    case MSPACK_ERR_ARGS:
      return "the decoder was given bad arguments";
    case MSPACK_ERR_OPEN:
      return "a file could not be opened";
    case MSPACK_ERR_READ:
      return "a read failed or ended early";
    case MSPACK_ERR_WRITE:
      return "a write failed";
    case MSPACK_ERR_SEEK:
      return "a seek failed";
    case MSPACK_ERR_NOMEMORY:
      return "out of memory";
    case MSPACK_ERR_SIGNATURE:
      return "a signature is wrong";
    case MSPACK_ERR_DATAFORMAT:
      return "the compressed data is malformed";
    case MSPACK_ERR_CHECKSUM:
      return "a data block's checksum does not match";
    case MSPACK_ERR_CRUNCH:
      return "compression failed";
    case MSPACK_ERR_DECRUNCH:
      return "the compressed data does not decode to the sizes recorded";
    default:
      return "unknown decoder error";
  }
}

}  // namespace fdi
