#include "fdi/folder_extractor.h"

#include <cstdio>

namespace fdi {

bool RewindOutput(const Callbacks& callbacks, intptr_t output) {
  return callbacks.seek(output, 0, SEEK_SET) == 0;
}

}  // namespace fdi
