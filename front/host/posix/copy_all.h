// Copying between descriptors, for the POSIX file steps of the window.
#pragma once

namespace tarvelin {

// Copies everything that remains to be read from `in` to `out`.
bool CopyAll(int in, int out);

}  // namespace tarvelin
