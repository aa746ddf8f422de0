#include "extract_package.h"

#include <fstream>
#include <stdexcept>

#include "fixtures/cabinet_writer.h"
#include "fixtures/package_writer.h"
#include "tool/package_builders.h"

namespace fuzz_support {

std::string ExtractPackage(bool inside, const std::string& cabinet) {
  fixtures::PackageDescription package = tool_tests::SmallApplication(
      {{"FA", "Main", "A.TXT|a.txt"}, {"FB", "Main", "b.txt"}, {"FC", "Main", "c.txt"}});
  fixtures::Table media = fixtures::StandardTable("Media");
  media.rows.push_back({fixtures::Int(1), fixtures::Int(3), fixtures::Null(),
                        fixtures::Str(inside ? "#A.cab" : "A.cab"), fixtures::Null(),
                        fixtures::Null()});
  package.tables.push_back(media);
  if (inside) package.streams.push_back({"A.cab", cabinet});
  return fixtures::WritePackage(package);
}

std::vector<std::string> SeedCabinets() {
  std::vector<std::string> cabinets;
  for (fixtures::CabCompression compression :
       {fixtures::CabCompression::kStored, fixtures::CabCompression::kMszip,
        fixtures::CabCompression::kLzxUncompressed}) {
    fixtures::CabinetDescription description;
    description.compression = compression;
    description.block_size = 4096;
    description.files = {{"FA", std::string(5000, 'a') + "alpha\n"},
                         {"FB", "bravo\n"},
                         {"FC", std::string(40000, 'c') + "charlie\n"}};
    cabinets.push_back(fixtures::WriteCabinet(description));
    // The first cabinet of a set whose second one is never there.
    cabinets.push_back(fixtures::WriteCabinetSet(description, {"A.cab", "B.cab"}).front());
  }
  return cabinets;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace fuzz_support
