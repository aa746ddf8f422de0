// The engine's one addition to the installer interface: a stream field can
// be read in place, like a file, by moving its read position. The cabinet
// unit decodes a cabinet stored in the package this way, without copying it
// out first.
#pragma once

#include <cstdint>

#include "msi/msiquery.h"

// Moves the read position of stream field `field` of `record` to `offset`
// bytes from the stream's start; the next MsiRecordReadStream reads from
// there. ERROR_INVALID_PARAMETER for an offset past the stream's end,
// ERROR_INVALID_DATA for a damaged stream, ERROR_DATATYPE_MISMATCH for a
// field that is not a stream.
UINT MsiRecordSeekStream(MSIHANDLE record, UINT field, std::uint64_t offset);
