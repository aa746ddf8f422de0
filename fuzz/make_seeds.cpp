// Writes the fuzzers' seed corpora, made by the fixture writer:
//   make_seeds OPEN_FOLDER EXTRACT_FOLDER COMMANDS_FOLDER
#include <filesystem>
#include <iostream>
#include <string>

#include "extract_package.h"
#include "fixtures/files_package.h"
#include "fixtures/package_writer.h"
#include "fixtures/sample_package.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: make_seeds OPEN_FOLDER EXTRACT_FOLDER COMMANDS_FOLDER\n";
    return 1;
  }
  namespace fs = std::filesystem;
  const fs::path open_folder = argv[1];
  const fs::path extract_folder = argv[2];
  const fs::path commands_folder = argv[3];
  fs::create_directories(open_folder);
  fs::create_directories(extract_folder);
  fs::create_directories(commands_folder);

  fuzz_support::WriteFile(open_folder / "sample.msi",
                          fixtures::WritePackage(fixtures::SamplePackage()));
  fuzz_support::WriteFile(open_folder / "files.msi",
                          fixtures::WritePackage(fixtures::FilesPackage(12, 4)));

  // The commands fuzzer starts from whole packages: the sample and the
  // extraction package with each seed cabinet inside.
  fuzz_support::WriteFile(commands_folder / "sample.msi",
                          fixtures::WritePackage(fixtures::SamplePackage()));
  int index = 0;
  for (const std::string& cabinet : fuzz_support::SeedCabinets()) {
    fuzz_support::WriteFile(commands_folder / ("package-" + std::to_string(index++) + ".msi"),
                            fuzz_support::ExtractPackage(true, cabinet));
  }

  index = 0;
  for (const std::string& cabinet : fuzz_support::SeedCabinets()) {
    for (char mode : {'\0', '\1', '\2'}) {
      fuzz_support::WriteFile(extract_folder / ("cabinet-" + std::to_string(index++)),
                              std::string(1, mode) + cabinet);
    }
  }
  return 0;
}
