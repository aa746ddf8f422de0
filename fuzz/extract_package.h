// The small package the extraction fuzzer feeds its cabinets through, and
// the seed cabinets, shared by the fuzzer and the seed writer.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace fuzz_support {

// A package of three files (keys FA, FB, FC) in SourceDir/MyApp whose one
// Media row names the cabinet A.cab: inside the package as the stream
// "A.cab" holding `cabinet`, or beside it.
std::string ExtractPackage(bool inside, const std::string& cabinet);

// Cabinets of those three files: stored, MSZIP and LZX, each whole and as
// the first of a set of two.
std::vector<std::string> SeedCabinets();

void WriteFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace fuzz_support
