// pandrel: lists, extracts and exports the registry entries of Windows
// Installer packages.
#include <cstdio>

#include "main/run_driver.h"

int main(int argc, char** argv) {
  static char output_buffer[1 << 16];
  std::setvbuf(stdout, output_buffer, _IOFBF, sizeof output_buffer);
  return RunPandrel(CountedArguments(argc, argv));
}
