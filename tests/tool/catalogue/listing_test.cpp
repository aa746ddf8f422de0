// The `l` listing: folders worked out from the Directory table, long names,
// the mask, and the count line.
#include <gtest/gtest.h>

#include "fixtures/package_writer.h"
#include "support/test_support.h"
#include "tool/package_builders.h"

namespace {

using test_support::Banner;
using tool_tests::CataloguePackage;
using tool_tests::ComponentRow;
using tool_tests::DirectoryRow;
using tool_tests::FileRow;

class ListingTest : public ::testing::Test {
 protected:
  // The listing of `package` for `mask`, without the banner.
  std::string List(const fixtures::PackageDescription& package, const std::string& mask = "*",
                   const std::vector<std::string>& extra = {}) {
    const std::string path = dir_ / "list.msi";
    fixtures::WritePackageFile(path, package);
    std::vector<std::string> arguments{"l"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    arguments.push_back(path);
    arguments.push_back(mask);
    auto result = test_support::RunPandrel(arguments);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out.substr(0, Banner().size()), Banner());
    return result.out.substr(Banner().size());
  }
  test_support::TempDir dir_;
};

TEST_F(ListingTest, FoldersComeFromTheDirectoryRowsDownFromTheRoot) {
  auto package = CataloguePackage({{"TARGETDIR", "", "SourceDir"},
                                   {"ProgramFilesFolder", "TARGETDIR", "."},
                                   {"APPDIR", "ProgramFilesFolder", "MYAPP~1|MyApp"},
                                   {"TS", "APPDIR", "Tgt:Src"},
                                   {"BOTH", "APPDIR", "TGT~1|Target:SRC~1|Source"},
                                   {"COLON", "APPDIR", "Name:"},
                                   {"SHORTONLY", "APPDIR", "Short|"}},
                                  {{"Root", "TARGETDIR"},
                                   {"App", "APPDIR"},
                                   {"Ts", "TS"},
                                   {"Both", "BOTH"},
                                   {"Colon", "COLON"},
                                   {"ShortOnly", "SHORTONLY"}},
                                  {{"f1", "Root", "ROOT.TXT"},
                                   {"f2", "App", "README.TXT"},
                                   {"f3", "App", "NOTES~1.TXT|Release notes.txt"},
                                   {"f4", "Ts", "a.txt"},
                                   {"f5", "Both", "b.txt"},
                                   {"f6", "Colon", "c.txt"},
                                   {"f7", "ShortOnly", "d.txt"},
                                   {"f8", "App", "LAST|"},
                                   {"f9", "App", ""}});
  EXPECT_EQ(List(package),
            "SourceDir/ROOT.TXT\r\n"
            "SourceDir/./MyApp/README.TXT\r\n"
            "SourceDir/./MyApp/Release notes.txt\r\n"
            "SourceDir/./MyApp/Src/a.txt\r\n"
            "SourceDir/./MyApp/Source/b.txt\r\n"
            "SourceDir/./MyApp/Name:/c.txt\r\n"
            "SourceDir/./MyApp/Short/d.txt\r\n"
            "SourceDir/./MyApp/LAST|\r\n"
            "SourceDir/./MyApp/\r\n"
            "9/9 files\r\n");
}

TEST_F(ListingTest, BrokenFolderChainsEndWithoutHanging) {
  auto package = CataloguePackage({{"TARGETDIR", "", "SourceDir"},
                                   {"SELF", "SELF", "Self"},  // its own parent: a root
                                   {"A", "C", "a"},           // A -> C -> B -> A: a cycle
                                   {"B", "A", "b"},
                                   {"C", "B", "c"},
                                   {"ORPHAN", "IVINETSTANDARDROOTDIR", "Framework32"},
                                   {"dup", "TARGETDIR", "first"},
                                   {"dup", "TARGETDIR", "second"},  // the first row with a key wins
                                   {"Dup", "TARGETDIR", "other"}},  // keys differ in case
                                  {{"Self", "SELF"},
                                   {"Cycle", "A"},
                                   {"Orphan", "ORPHAN"},
                                   {"Nowhere", "NOSUCHDIR"},
                                   {"Dup", "dup"},
                                   {"DupCase", "Dup"},
                                   {"Comp", "TARGETDIR"},
                                   {"Comp", "SELF"}},
                                  {{"s", "Self", "s.txt"},
                                   {"c", "Cycle", "c.txt"},
                                   {"o", "Orphan", "o.txt"},
                                   {"n", "Nowhere", "n.txt"},
                                   {"lost", "NoComponent", "lost.txt"},
                                   {"d", "Dup", "d.txt"},
                                   {"D", "DupCase", "D.txt"},
                                   {"k", "Comp", "k.txt"},
                                   {"k2", "comp", "k2.txt"}});
  EXPECT_EQ(List(package),
            "Self/s.txt\r\n"
            "b/c/a/c.txt\r\n"
            "IVINETSTANDARDROOTDIR/Framework32/o.txt\r\n"
            "NOSUCHDIR/n.txt\r\n"
            "SourceDir/first/d.txt\r\n"
            "SourceDir/other/D.txt\r\n"
            "SourceDir/k.txt\r\n"
            "7/9 files\r\n");
}

TEST_F(ListingTest, TheMaskMatchesTheLongNameAlone) {
  auto package = tool_tests::SmallApplication({{"F1", "Main", "README.TXT"},
                                               {"F2", "Main", "NOTES~1.TXT|Release notes.txt"},
                                               {"F3", "Main", "LICENSE"},
                                               {"F4", "Root", "setup.exe"}});
  EXPECT_EQ(List(package, "*.*"),
            "SourceDir/./MyApp/README.TXT\r\n"
            "SourceDir/./MyApp/Release notes.txt\r\n"
            "SourceDir/setup.exe\r\n"
            "3/4 files\r\n");
  EXPECT_EQ(List(package, "*.txt"),
            "SourceDir/./MyApp/README.TXT\r\n"
            "SourceDir/./MyApp/Release notes.txt\r\n"
            "2/4 files\r\n");
  EXPECT_EQ(List(package, "NOTES~1.TXT"), "0/4 files\r\n");
  EXPECT_EQ(List(package, "MyApp/*"), "0/4 files\r\n");
  EXPECT_EQ(List(package, "F1"), "0/4 files\r\n");
  EXPECT_EQ(List(package, "licens?"), "SourceDir/./MyApp/LICENSE\r\n1/4 files\r\n");
  // -v and a target folder change nothing in the listing.
  EXPECT_EQ(List(package, "*", {"-v"}), List(package, "*"));
}

TEST_F(ListingTest, APackageWithoutFilesCountsZero) {
  fixtures::PackageDescription empty;
  empty.tables = {fixtures::StandardTable("Property")};
  EXPECT_EQ(List(empty), "0/0 files\r\n");
  EXPECT_EQ(List(CataloguePackage({}, {}, {})), "0/0 files\r\n");
}

TEST_F(ListingTest, LongValuesAndCodepagesComeThroughWhole) {
  const std::string long_name = std::string(600, 'n') + ".txt";
  auto package = tool_tests::SmallApplication(
      {{"F1", "Main", long_name}, {"F2", "Main", "CAFE~1.TXT|caf\xc3\xa9 \xe4\xb8\xad.txt"}});
  package.codepage = 65001;
  EXPECT_EQ(List(package), "SourceDir/./MyApp/" + long_name + "\r\n" +
                               "SourceDir/./MyApp/caf\xc3\xa9 \xe4\xb8\xad.txt\r\n" +
                               "2/2 files\r\n");
  package.tables[0].rows.pop_back();
  package.tables[0].rows.push_back(
      {fixtures::Str("F3"), fixtures::Str("Main"), fixtures::Str("\xe4\xb8\xad\xe6\x96\x87.txt"),
       fixtures::Int(1), fixtures::Null(), fixtures::Null(), fixtures::Int(0), fixtures::Int(3)});
  package.codepage = 936;
  EXPECT_EQ(List(package, "*.TXT"), "SourceDir/./MyApp/" + long_name + "\r\n" +
                                        "SourceDir/./MyApp/\xe4\xb8\xad\xe6\x96\x87.txt\r\n" +
                                        "2/2 files\r\n");
}

}  // namespace
