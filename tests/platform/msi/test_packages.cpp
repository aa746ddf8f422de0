#include "test_packages.h"

namespace msi_test {

using fixtures::Int;
using fixtures::Null;
using fixtures::Str;

std::string LogoBytes() {
  std::string bytes;
  for (int i = 0; i < 10000; ++i) bytes.push_back(static_cast<char>((i * 7 + i / 256) & 0xFF));
  return bytes;
}

fixtures::PackageDescription ThingsPackage() {
  fixtures::PackageDescription package;
  package.summary_information = true;
  fixtures::Table things{
      "Things",
      {{"Id", "s72", true}, {"Small", "I2"}, {"Large", "i4"}, {"Note", "L0"}, {"Blob", "V0"}},
      {}};
  things.rows.push_back({Str("alpha"), Int(-2), Int(-70000), Str("first note"), Str("AB")});
  things.rows.push_back({Str("beta"), Null(), Int(2147483647), Null(), Null()});
  things.rows.push_back({Str("gamma"), Int(32767), Int(5), Str(std::string(300, 'x')), Null()});
  things.rows.push_back({Str("42"), Int(7), Int(42), Str("beta"), Null()});
  fixtures::Table property = fixtures::StandardTable("Property");
  property.rows.push_back({Str("ProductName"), Str("Things")});
  property.rows.push_back({Str("Manufacturer"), Str("Nobody")});
  fixtures::Table binary = fixtures::StandardTable("Binary");
  binary.rows.push_back({Str("Logo"), Str(LogoBytes())});
  package.tables = {things, property, binary};
  package.streams.push_back({"loose.bin", std::string(5000, 'L')});
  return package;
}

}  // namespace msi_test
