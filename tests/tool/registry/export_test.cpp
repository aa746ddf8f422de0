// The `r` command's registry script.
#include <gtest/gtest.h>

#include "fixtures/package_writer.h"
#include "support/test_support.h"

namespace {

using fixtures::Int;
using fixtures::Null;
using fixtures::Str;
using test_support::Banner;

class RegistryExportTest : public ::testing::Test {
 protected:
  std::string Export(const std::vector<std::vector<fixtures::Cell>>& rows,
                     const std::vector<std::string>& extra = {}) {
    fixtures::PackageDescription package;
    fixtures::Table registry = fixtures::StandardTable("Registry");
    registry.rows = rows;
    package.tables = {registry};
    return ExportPackage(package, extra);
  }
  std::string ExportPackage(const fixtures::PackageDescription& package,
                            const std::vector<std::string>& extra = {}) {
    const std::string path = dir_ / "reg.msi";
    fixtures::WritePackageFile(path, package);
    // `extra` is the command line after "r", with PKG standing for the package.
    std::vector<std::string> arguments{"r"};
    if (extra.empty()) arguments.push_back(path);
    for (const auto& argument : extra) arguments.push_back(argument == "PKG" ? path : argument);
    auto result = test_support::RunPandrel(arguments);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out.substr(0, Banner().size()), Banner());
    return result.out.substr(Banner().size());
  }
  static std::vector<fixtures::Cell> Row(const std::string& key, fixtures::Cell root,
                                         fixtures::Cell path, fixtures::Cell name,
                                         fixtures::Cell value) {
    return {Str(key), root, path, name, value, Str("Comp")};
  }
  test_support::TempDir dir_;
};

const char kHeader[] = "Windows Registry Editor Version 5.00\r\n\r\n";

TEST_F(RegistryExportTest, KeepsRowsWithANamedRootAndAValueInTableOrder) {
  const std::string long_value(1000, 'v');
  std::string out = Export({
      Row("a", Int(2), Str("SOFTWARE\\Example"), Null(), Str("1")),
      Row("b", Int(1), Str("Software\\Two"), Str("first"), Str("#1")),
      Row("c", Int(1), Str("Software\\Two"), Str("second"), Str("#x01ff")),
      Row("d", Int(3), Str(".DEFAULT\\Env"), Str("Path \"q\""), Str("[INSTALLDIR]bin\\x \"y\"")),
      Row("e", Int(0), Str("Classes"), Str("n"), Str("dropped: classes root")),
      Row("f", Int(-1), Str("Either"), Str("n"), Str("dropped: decided at install")),
      Row("g", Null(), Str("NoRoot"), Str("n"), Str("dropped: null root")),
      Row("h", Int(4), Str("Beyond"), Str("n"), Str("dropped: no such root")),
      Row("i", Int(2), Str("KeyOnly"), Str("+"), Null()),
      Row("j", Int(2), Str("Long"), Str(""), Str(long_value)),
      Row("k", Int(2), Str("[bracket] key"), Str("[~]"), Str("[~]a[~]b[~]")),
  });
  EXPECT_EQ(out, std::string(kHeader) +
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Example]\r\n@=1\r\n\r\n"
                     "[HKEY_CURRENT_USER\\Software\\Two]\r\nfirst=#1\r\n\r\n"
                     "[HKEY_CURRENT_USER\\Software\\Two]\r\nsecond=#x01ff\r\n\r\n"
                     "[HKEY_USERS\\.DEFAULT\\Env]\r\nPath \"q\"=[INSTALLDIR]bin\\x \"y\"\r\n\r\n"
                     "[HKEY_LOCAL_MACHINE\\Long]\r\n@=" +
                     long_value +
                     "\r\n\r\n"
                     "[HKEY_LOCAL_MACHINE\\[bracket] key]\r\n[~]=[~]a[~]b[~]\r\n\r\n");
}

TEST_F(RegistryExportTest, OnlyTheHeaderWhenNoRowIsKept) {
  EXPECT_EQ(Export({Row("a", Int(0), Str("K"), Null(), Str("v")),
                    Row("b", Int(-1), Str("K"), Null(), Str("v"))}),
            kHeader);
  EXPECT_EQ(Export({}), kHeader);
}

TEST_F(RegistryExportTest, NothingAfterTheBannerWithoutARegistryTable) {
  fixtures::PackageDescription package;
  package.tables = {fixtures::StandardTable("Property")};
  EXPECT_EQ(ExportPackage(package), "");
}

TEST_F(RegistryExportTest, OptionsMaskAndFolderChangeNothing) {
  const auto rows = std::vector<std::vector<fixtures::Cell>>{
      Row("a", Int(2), Str("SOFTWARE\\Example"), Null(), Str("1"))};
  const std::string plain = Export(rows);
  EXPECT_EQ(Export(rows, {"-v", "PKG"}), plain);
  EXPECT_EQ(Export(rows, {"-r", "PKG", "*.exe"}), plain);
  EXPECT_EQ(Export(rows, {"PKG", "*.exe", dir_ / "elsewhere"}), plain);
}

}  // namespace
