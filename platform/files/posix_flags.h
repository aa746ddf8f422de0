// POSIX-only helpers of the file functions, for code that works with
// descriptors directly (the Linux window, and the POSIX implementation
// itself).
#pragma once

#include "files/handle.h"

namespace files {

// Flags of a file created new for writing: exclusively, never through a
// link, not inherited by programs the process starts.
int NewFileFlags();

// The tool's reason for the errno `error`.
Reason ReasonOf(int error);

}  // namespace files
