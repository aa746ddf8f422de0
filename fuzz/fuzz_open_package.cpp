// libFuzzer target: any bytes as a package file. Opens it, dumps every
// table and reads every stream, through the engine's own API and through
// the installer interface.
#include <cstddef>
#include <cstdint>
#include <string>

#include "exercise.h"
#include "memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  msi_test::MemoryFile file(std::string(reinterpret_cast<const char*>(data), size));
  if (!file.path().empty()) msi_test::ExercisePackage(file.path());
  return 0;
}
