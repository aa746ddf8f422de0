// The `x` command from end to end: cabinets inside and beside the package,
// the lines it prints, and the tree it leaves.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "fixtures/cabinet_writer.h"
#include "fixtures/package_writer.h"
#include "fixtures/summary_information.h"
#include "support/test_support.h"
#include "tool/package_builders.h"

namespace {

namespace fs = std::filesystem;
using fixtures::CabCompression;
using fixtures::CabFile;
using fixtures::Int;
using fixtures::Null;
using fixtures::Str;
using test_support::Banner;
using test_support::ReadFile;
using test_support::RunPandrel;
using test_support::WriteFile;
using tool_tests::FileRow;

// Files of the small application: key, FileName, contents.
struct AppFile {
  std::string key;
  std::string file_name;
  std::string data;
  std::string component = "Main";
};

class ExtractionTest : public ::testing::Test {
 protected:
  // Writes the package with the given files, Media Cabinet values and
  // embedded streams into the package folder.
  void WritePackage(const std::vector<AppFile>& app_files, const std::vector<std::string>& media,
                    const std::vector<std::pair<std::string, std::string>>& streams) {
    std::vector<FileRow> rows;
    for (const auto& file : app_files) rows.push_back({file.key, file.component, file.file_name});
    fixtures::PackageDescription package = tool_tests::SmallApplication(rows);
    fixtures::Table media_table = fixtures::StandardTable("Media");
    int disk = 1;
    for (const auto& cabinet : media) {
      media_table.rows.push_back(
          {Int(disk), Int(100 * disk), Null(), Str(cabinet), Null(), Null()});
      ++disk;
    }
    package.tables.push_back(media_table);
    for (const auto& [name, bytes] : streams) package.streams.push_back({name, bytes});
    fixtures::WritePackageFile(package_, package);
  }

  static std::string Cabinet(const std::vector<AppFile>& app_files,
                             CabCompression compression = CabCompression::kMszip) {
    fixtures::CabinetDescription cabinet;
    cabinet.compression = compression;
    for (const auto& file : app_files) cabinet.files.push_back(CabFile{file.key, file.data});
    return fixtures::WriteCabinet(cabinet);
  }

  // Runs x and returns what follows the banner.
  std::string Extract(const std::vector<std::string>& arguments, const std::string& cwd = "") {
    auto result = RunPandrel(arguments, cwd);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.err, expected_err_);
    EXPECT_EQ(result.out.substr(0, Banner().size()), Banner());
    return result.out.substr(std::min(result.out.size(), Banner().size()));
  }

  // Every path below `root`, relative, sorted, folders ending in "/".
  static std::vector<std::string> Tree(const fs::path& root) {
    std::vector<std::string> paths;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
      paths.push_back(fs::relative(item.path(), root).string() + (item.is_directory() ? "/" : ""));
    }
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  // What standard error must hold (under -v, why a cabinet failed).
  std::string expected_err_;
  test_support::TempDir dir_;
  std::string package_folder_ = (fs::create_directory(dir_.path() / "pkg"), dir_ / "pkg");
  std::string package_ = package_folder_ + "/app.msi";
  std::string out_ = dir_ / "out";
};

const AppFile kA{"FA", "A.TXT|a.txt", "alpha\n"};
const AppFile kB{"FB", "b.txt", "bravo\n"};
const AppFile kC{"FC", "C~1.TXT|c file.txt", "charlie\n"};

TEST_F(ExtractionTest, EmbeddedCabinetsComeFirstAndCopiesAreRemoved) {
  WritePackage({kA, kB, kC}, {"#A.cab", "C.cab", "#B.cab"},
               {{"A.cab", Cabinet({kA})}, {"B.cab", Cabinet({kB})}});
  test_support::WriteFile(package_folder_ + "/C.cab", Cabinet({kC}));

  EXPECT_EQ(Extract({"x", package_, "*", out_}),
            "Extract from inside CAB: A.cab\r\n"
            "Extract from inside CAB: B.cab\r\n"
            "3/3 files\r\n");
  EXPECT_EQ(Tree(out_),
            (std::vector<std::string>{"SourceDir/", "SourceDir/MyApp/", "SourceDir/MyApp/a.txt",
                                      "SourceDir/MyApp/b.txt", "SourceDir/MyApp/c file.txt"}));
  EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/c file.txt"), kC.data);

  fs::remove_all(out_);
  EXPECT_EQ(Extract({"x", "-v", package_, "*", out_}),
            "Extract from inside CAB: A.cab\r\n"
            "FA extracting\r\n"
            "Extract from inside CAB: B.cab\r\n"
            "FB extracting\r\n"
            "Extract from outside CAB: C.cab\r\n"
            "FC extracting\r\n"
            "FA -> SourceDir/./MyApp/a.txt renaming\r\n"
            "FB -> SourceDir/./MyApp/b.txt renaming\r\n"
            "FC -> SourceDir/./MyApp/c file.txt renaming\r\n"
            "3/3 files\r\n");
  EXPECT_EQ(Tree(out_).size(), 5u);
}

TEST_F(ExtractionTest, WithoutAFolderTheTreeLandsBesideThePackage) {
  WritePackage({kA, kB}, {"#A.cab"}, {{"A.cab", Cabinet({kA, kB})}});
  EXPECT_EQ(Extract({"x", "app.msi"}, package_folder_),
            "Extract from inside CAB: A.cab\r\n2/2 files\r\n");
  EXPECT_EQ(Tree(package_folder_),
            (std::vector<std::string>{"SourceDir/", "SourceDir/MyApp/", "SourceDir/MyApp/a.txt",
                                      "SourceDir/MyApp/b.txt", "app.msi"}));
}

TEST_F(ExtractionTest, MasksAndRepeatsAndMissingCabinets) {
  WritePackage({kA, kB, kC}, {"#A.cab", "#A.cab", "missing.cab", "disk1\\data1.cab", "#nosuch.cab"},
               {{"A.cab", Cabinet({kA, kB, kC})}});
  fs::create_directories(out_);
  test_support::WriteFile(out_ + "/nosuch.cab", "a file of the user's");
  test_support::WriteFile(out_ + "/A.cab", "another file of the user's");

  EXPECT_EQ(Extract({"x", package_, "*.none", out_}),
            "Extract from inside CAB: A.cab\r\n"
            "Extract from inside CAB: A.cab\r\n"
            "ERROR: outside CAB \"" +
                package_folder_ + "/missing.cab\" not exists\r\n" + "ERROR: outside CAB \"" +
                package_folder_ + "/disk1/data1.cab\" not exists\r\n" + "0/3 files\r\n");
  EXPECT_EQ(Tree(out_), (std::vector<std::string>{"A.cab", "nosuch.cab"}));
  EXPECT_EQ(ReadFile(out_ + "/nosuch.cab"), "a file of the user's");
  EXPECT_EQ(ReadFile(out_ + "/A.cab"), "another file of the user's");

  // A cabinet in a subfolder beside the package, with its name in other case.
  fs::create_directories(package_folder_ + "/disk1");
  test_support::WriteFile(package_folder_ + "/disk1/DATA1.CAB", Cabinet({kC}));
  test_support::WriteFile(package_folder_ + "/missing.cab", Cabinet({kB}));
  const std::string out = Extract({"x", "-v", package_, "c*", out_});
  EXPECT_NE(out.find("Extract from outside CAB: disk1/data1.cab\r\nFC extracting\r\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/c file.txt"), kC.data);
}

TEST_F(ExtractionTest, LaterEntriesReplaceEarlierOnesAndReExtractionReplacesTheTree) {
  AppFile first{"F1", "SAME.TXT|same.txt", "first"};
  AppFile second{"F2", "same.txt", "second"};
  AppFile other_case{"f3", "case.txt", "key differs in case"};
  WritePackage({first, second, {"F3", "case.txt", ""}}, {"#A.cab"},
               {{"A.cab", Cabinet({first, second, other_case})}});
  EXPECT_EQ(Extract({"x", "-v", package_, "*", out_}),
            "Extract from inside CAB: A.cab\r\n"
            "F1 extracting\r\n"
            "F2 extracting\r\n"
            "F1 -> SourceDir/./MyApp/same.txt renaming\r\n"
            "F2 -> SourceDir/./MyApp/same.txt replaceing\r\n"
            "F3 -> SourceDir/./MyApp/case.txt replaceing\r\n"
            "3/3 files\r\n");
  EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/same.txt"), "second");
  EXPECT_FALSE(fs::exists(out_ + "/SourceDir/MyApp/case.txt"));
  EXPECT_FALSE(fs::exists(out_ + "/f3"));

  const std::string again = Extract({"x", "-v", package_, "*", out_});
  EXPECT_NE(again.find("F1 -> SourceDir/./MyApp/same.txt replaceing\r\n"), std::string::npos);
  EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/same.txt"), "second");
  EXPECT_EQ(Tree(out_), (std::vector<std::string>{"SourceDir/", "SourceDir/MyApp/",
                                                  "SourceDir/MyApp/same.txt"}));
}

TEST_F(ExtractionTest, AnOutputFileThatCannotBeCreatedStopsItsCabinet) {
  AppFile third{"F3", "third.txt", "third"};
  WritePackage({kA, kB, third}, {"#A.cab"}, {{"A.cab", Cabinet({kA, kB, third})}});
  // A folder of the user's named like a File key is nothing to the tree.
  fs::create_directories(out_ + "/FB/inside");
  EXPECT_EQ(Extract({"x", package_, "*", out_}), "Extract from inside CAB: A.cab\r\n3/3 files\r\n");
  EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/b.txt"), kB.data);
  fs::remove_all(out_ + "/SourceDir");
  // A folder at B's place and one at its File key: B can go nowhere.
  fs::create_directories(out_ + "/SourceDir/MyApp/b.txt/inside");
  EXPECT_EQ(Extract({"x", package_, "*", out_}),
            "Extract from inside CAB: A.cab\r\n"
            "ERROR: cabinet \"" +
                out_ + "/A.cab\" could not be extracted\r\n" + "3/3 files\r\n");
  EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/a.txt"), kA.data);
  EXPECT_FALSE(fs::exists(out_ + "/SourceDir/MyApp/third.txt"));
  // The folder in the way is the user's: it is not moved into the tree.
  EXPECT_TRUE(fs::is_directory(out_ + "/FB/inside"));
  EXPECT_TRUE(fs::is_directory(out_ + "/SourceDir/MyApp/b.txt/inside"));

  // A name the file system refuses (longer than a name may be), in a
  // folder this run makes: the entry ends under its File key.
  AppFile long_name{"FL", std::string(300, 'n') + ".txt", "long"};
  WritePackage({kA, long_name}, {"#A.cab"}, {{"A.cab", Cabinet({kA, long_name})}});
  fs::remove_all(out_);
  EXPECT_EQ(Extract({"x", package_, "*", out_}), "Extract from inside CAB: A.cab\r\n2/2 files\r\n");
  EXPECT_EQ(ReadFile(out_ + "/FL"), "long");
  EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/a.txt"), kA.data);
  // ... and where the File key is taken too, the copy stops there.
  fs::remove_all(out_ + "/SourceDir");
  WriteFile(out_ + "/FL", "mine");
  EXPECT_EQ(Extract({"x", package_, "*", out_}),
            "Extract from inside CAB: A.cab\r\nERROR: cabinet \"" + out_ +
                "/A.cab\" could not be extracted\r\n2/2 files\r\n");
  EXPECT_EQ(ReadFile(out_ + "/FL"), "mine");
}

TEST_F(ExtractionTest, EveryCompressionDecodesToTheSameFiles) {
  AppFile big{"BIG", "big.bin", ""};
  for (int i = 0; i < 200000; ++i) big.data += static_cast<char>((i * 7919) % 251);
  for (CabCompression compression :
       {CabCompression::kStored, CabCompression::kMszip, CabCompression::kLzxUncompressed}) {
    WritePackage({kA, big}, {"#A.cab"}, {{"A.cab", Cabinet({kA, big}, compression)}});
    fs::remove_all(out_);
    EXPECT_EQ(Extract({"x", package_, "*", out_}),
              "Extract from inside CAB: A.cab\r\n2/2 files\r\n");
    EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/big.bin"), big.data);
  }
}

TEST_F(ExtractionTest, AFileSpanningTwoCabinetsIsExtractedWhole) {
  AppFile big{"BIG", "big.bin", ""};
  for (int i = 0; i < 300000; ++i) big.data += static_cast<char>((i * 31) % 253);
  fixtures::CabinetDescription set;
  set.files = {CabFile{kA.key, kA.data}, CabFile{big.key, big.data}, CabFile{kB.key, kB.data}};
  const auto cabinets = fixtures::WriteCabinetSet(set, {"Disk1.cab", "Disk2.cab"});

  WritePackage({kA, big, kB}, {"#Disk1.cab", "#Disk2.cab"},
               {{"Disk1.cab", cabinets[0]}, {"Disk2.cab", cabinets[1]}});
  EXPECT_EQ(Extract({"x", package_, "*", out_}),
            "Extract from inside CAB: Disk1.cab\r\n"
            "Extract from inside CAB: Disk2.cab\r\n"
            "3/3 files\r\n");
  EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/big.bin"), big.data);
  EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/b.txt"), kB.data);
  EXPECT_EQ(Tree(out_).size(), 5u);

  // The second cabinet beside the package.
  WritePackage({kA, big, kB}, {"#Disk1.cab", "Disk2.cab"}, {{"Disk1.cab", cabinets[0]}});
  test_support::WriteFile(package_folder_ + "/Disk2.cab", cabinets[1]);
  fs::remove_all(out_);
  EXPECT_EQ(Extract({"x", package_, "*", out_}),
            "Extract from inside CAB: Disk1.cab\r\n3/3 files\r\n");
  EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/big.bin"), big.data);

  // Without the second cabinet the copy of the set ends: what lay whole in
  // the first cabinet stays, the file that crosses into the missing one does
  // not appear, nor does anything after it.
  set.compression = CabCompression::kStored;
  const auto stored = fixtures::WriteCabinetSet(set, {"Disk1.cab", "Disk2.cab"});
  WritePackage({kA, big, kB}, {"#Disk1.cab", "Disk2.cab"}, {{"Disk1.cab", stored[0]}});
  fs::remove(package_folder_ + "/Disk2.cab");
  fs::remove_all(out_);
  EXPECT_EQ(Extract({"x", package_, "*", out_}),
            "Extract from inside CAB: Disk1.cab\r\n"
            "ERROR: cabinet \"" +
                out_ + "/Disk1.cab\" could not be extracted\r\n" + "ERROR: outside CAB \"" +
                package_folder_ + "/Disk2.cab\" not exists\r\n" + "3/3 files\r\n");
  EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/a.txt"), kA.data);
  EXPECT_FALSE(fs::exists(out_ + "/SourceDir/MyApp/big.bin"));
  EXPECT_FALSE(fs::exists(out_ + "/SourceDir/MyApp/b.txt"));
  EXPECT_FALSE(fs::exists(out_ + "/BIG"));
  EXPECT_FALSE(fs::exists(out_ + "/Disk1.cab"));
}

TEST_F(ExtractionTest, ADamagedCabinetKeepsWhatWasWholeAndNoHalfFile) {
  AppFile big{"BIG", "big.bin", std::string(400000, 'z')};
  std::string cabinet = Cabinet({kA, big, kB}, CabCompression::kStored);
  cabinet.resize(cabinet.size() - 100000);
  WritePackage({kA, big, kB}, {"#A.cab"}, {{"A.cab", cabinet}});
  EXPECT_EQ(Extract({"x", package_, "*", out_}),
            "Extract from inside CAB: A.cab\r\n"
            "ERROR: cabinet \"" +
                out_ + "/A.cab\" could not be extracted\r\n" + "3/3 files\r\n");
  EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/a.txt"), kA.data);
  EXPECT_FALSE(fs::exists(out_ + "/SourceDir/MyApp/big.bin"));
  EXPECT_EQ(Tree(out_),
            (std::vector<std::string>{"SourceDir/", "SourceDir/MyApp/", "SourceDir/MyApp/a.txt"}));

  // Not a cabinet at all.
  WritePackage({kA}, {"#A.cab"}, {{"A.cab", "just some text, not a cabinet"}});
  fs::remove_all(out_);
  EXPECT_EQ(Extract({"x", package_, "*", out_}),
            "Extract from inside CAB: A.cab\r\n"
            "ERROR: cabinet \"" +
                out_ + "/A.cab\" could not be extracted\r\n" + "1/1 files\r\n");
}

TEST_F(ExtractionTest, NothingOfTheUsersIsTouchedButFilesAtPlacesOfTheTree) {
  AppFile big{"BIG", "big.bin", std::string(400000, 'z')};
  AppFile first{"F1", "SAME.TXT|same.txt", "first"};
  AppFile second{"F2", "same.txt", "second"};
  std::string damaged = Cabinet({kA, big}, CabCompression::kStored);
  damaged.resize(damaged.size() - 100000);
  // The cabinet holds F2 before F1; the catalogue's later entry still wins.
  WritePackage({kA, big, first, second, kB}, {"#A.cab", "#S.cab", "missing.cab"},
               {{"A.cab", damaged}, {"S.cab", Cabinet({second, first})}});
  fs::create_directories(out_ + "/SourceDir/MyApp");
  // Files of the user's: named like File keys (FB's cabinet is missing),
  // and one at a place of the tree that a damaged entry would take.
  for (const std::string key : {"FA", "BIG", "F1", "FB"}) WriteFile(out_ + "/" + key, "mine");
  test_support::WriteFile(out_ + "/SourceDir/MyApp/big.bin", "old");

  expected_err_ = "pandrel: cabinet \"" + out_ +
                  "/A.cab\": the cabinet's data is damaged (checksum or decoding failed): a read "
                  "failed or ended early\n";
  EXPECT_EQ(Extract({"x", "-v", package_, "*", out_}),
            "Extract from inside CAB: A.cab\r\n"
            "FA extracting\r\n"
            "BIG extracting\r\n"
            "ERROR: cabinet \"" +
                out_ + "/A.cab\" could not be extracted\r\n" +
                "Extract from inside CAB: S.cab\r\n"
                "F2 extracting\r\n"
                "F1 extracting\r\n"
                "ERROR: outside CAB \"" +
                package_folder_ + "/missing.cab\" not exists\r\n" +
                "FA -> SourceDir/./MyApp/a.txt renaming\r\n"
                "BIG -> SourceDir/./MyApp/big.bin replaceing\r\n"
                "F1 -> SourceDir/./MyApp/same.txt renaming\r\n"
                "F2 -> SourceDir/./MyApp/same.txt replaceing\r\n"
                "FB -> SourceDir/./MyApp/b.txt replaceing\r\n"
                "5/5 files\r\n");
  expected_err_.clear();
  for (const std::string key : {"FA", "BIG", "F1", "FB"})
    EXPECT_EQ(ReadFile(out_ + "/" + key), "mine");
  EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/a.txt"), kA.data);
  EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/big.bin"), "old");
  EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/same.txt"), "second");
  EXPECT_EQ(Tree(out_).size(), 9u);  // no temporary file is left behind

  // A whole entry replaces the file at its place.
  WritePackage({kA, big}, {"#A.cab"}, {{"A.cab", Cabinet({kA, big}, CabCompression::kStored)}});
  Extract({"x", package_, "*", out_});
  EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/big.bin"), big.data);
  EXPECT_EQ(Tree(out_).size(), 9u);
}

TEST_F(ExtractionTest, ATargetThatCannotHoldFilesOrFillsUpSaysSo) {
  AppFile big{"BIG", "big.bin", std::string(400000, 'z')};
  WritePackage({kA, big}, {"#A.cab", "#B.cab"},
               {{"A.cab", Cabinet({big}, CabCompression::kStored)}, {"B.cab", Cabinet({kA})}});
  test_support::WriteFile(dir_ / "afile", "a file of the user's");
  EXPECT_EQ(Extract({"x", package_, "*", dir_ / "afile"}),
            "ERROR: target folder \"" + (dir_ / "afile") +
                "/\" cannot hold files: Not a directory\r\n2/2 files\r\n");
  EXPECT_EQ(ReadFile(dir_ / "afile"), "a file of the user's");

  // A file-size limit stands in for a full disk: the entry that does not
  // fit leaves nothing, and the walk goes on to the next cabinet.
  const std::string command = "trap '' XFSZ; ulimit -f 200; exec '" +
                              test_support::PandrelBinary() + "' x '" + package_ + "' '*' '" +
                              out_ + "' > '" + (dir_ / "log") + "'";
  ASSERT_EQ(std::system(("sh -c \"" + command + "\"").c_str()), 0);
  EXPECT_EQ(ReadFile(dir_ / "log"), Banner() +
                                        "Extract from inside CAB: A.cab\r\n"
                                        "ERROR: possibly disk_space not enough\r\n"
                                        "ERROR: cabinet \"" +
                                        out_ +
                                        "/A.cab\" could not be extracted\r\n"
                                        "Extract from inside CAB: B.cab\r\n"
                                        "2/2 files\r\n");
  EXPECT_EQ(Tree(out_),
            (std::vector<std::string>{"SourceDir/", "SourceDir/MyApp/", "SourceDir/MyApp/a.txt"}));
}

TEST_F(ExtractionTest, TwoRunsIntoOneFolderAtOnceBothSucceed) {
  // Whichever run makes a folder or a file first, the other replaces what
  // it finds there: both end without an error, and one whole tree stays.
  std::vector<AppFile> app_files;
  for (int i = 0; i < 300; ++i) {
    app_files.push_back({"F" + std::to_string(i), "f" + std::to_string(i) + ".txt",
                         std::string(1000 + i, static_cast<char>('a' + i % 26))});
  }
  WritePackage(app_files, {"#A.cab"}, {{"A.cab", Cabinet(app_files)}});
  const std::string run = "'" + test_support::PandrelBinary() + "' x '" + package_ + "' '*' '" +
                          out_ + "' > '" + (dir_ / "log");
  for (int round = 0; round < 4; ++round) {
    fs::remove_all(out_);
    const std::string both = run + "1' & " + run + "2' & wait";
    ASSERT_EQ(std::system(("sh -c \"" + both + "\"").c_str()), 0);
    for (const char* log : {"log1", "log2"})
      EXPECT_EQ(ReadFile(dir_ / log),
                Banner() + "Extract from inside CAB: A.cab\r\n300/300 files\r\n");
    EXPECT_EQ(Tree(out_).size(), 302u);  // no temporary file is left behind
    for (const AppFile& file : {app_files.front(), app_files.back()})
      EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/" + file.file_name), file.data);
  }
}

TEST_F(ExtractionTest, FileTimesAreTheCabinetTimesReadAsUtc) {
  fixtures::CabinetDescription cabinet;
  cabinet.files = {CabFile{kA.key, kA.data, 0x4A52, 0x8A4B}};  // 2017-02-18 17:18:22
  WritePackage({kA}, {"#A.cab"}, {{"A.cab", fixtures::WriteCabinet(cabinet)}});
  Extract({"x", package_, "*", out_});
  struct stat info {};
  ASSERT_EQ(stat((out_ + "/SourceDir/MyApp/a.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mtime, 1487438302);
}

TEST_F(ExtractionTest, NothingAPackageSaysLeavesTheChosenFolder) {
  std::vector<FileRow> rows = {{"../../escaped-key", "Main", "key.txt"},
                               {"FD", "Up", "dir.txt"},
                               {"FN", "Main", "a|../../escaped-name"},
                               {"FOK", "Main", "ok.txt"}};
  fixtures::PackageDescription package =
      tool_tests::CataloguePackage({{"TARGETDIR", "", "SourceDir"},
                                    {"ProgramFilesFolder", "TARGETDIR", "."},
                                    {"APPDIR", "ProgramFilesFolder", "MYAPP~1|MyApp"},
                                    {"UP", "TARGETDIR", ".."},
                                    {"UP2", "UP", ".."}},
                                   {{"Main", "APPDIR"}, {"Up", "UP2"}}, rows);
  fixtures::Table media = fixtures::StandardTable("Media");
  media.rows = {{Int(1), Int(4), Null(), Str("#../x.cab"), Null(), Null()},
                {Int(2), Int(4), Null(), Str("#A.cab"), Null(), Null()},
                {Int(3), Int(4), Null(), Str("..\\..\\evil.cab"), Null(), Null()}};
  package.tables.push_back(media);
  fixtures::CabinetDescription cabinet;
  cabinet.files = {CabFile{"../../escaped-key", "k"}, CabFile{"FD", "d"}, CabFile{"FN", "n"},
                   CabFile{"FOK", "ok"}};
  const std::string bytes = fixtures::WriteCabinet(cabinet);
  package.streams = {{"../x.cab", bytes}, {"A.cab", bytes}};
  fixtures::WritePackageFile(package_, package);
  test_support::WriteFile(dir_ / "evil.cab", bytes);

  const std::string nest = dir_ / "a/b/out";
  EXPECT_EQ(Extract({"x", package_, "*", nest}),
            "ERROR: unsafe name \"../../escaped-key\"\r\n"
            "ERROR: unsafe name \"SourceDir/../../dir.txt\"\r\n"
            "ERROR: unsafe name \"SourceDir/./MyApp/../../escaped-name\"\r\n"
            "ERROR: unsafe name \"../x.cab\"\r\n"
            "Extract from inside CAB: A.cab\r\n"
            "ERROR: unsafe name \"..\\..\\evil.cab\"\r\n"
            "4/4 files\r\n");
  EXPECT_EQ(Tree(dir_ / "a"),
            (std::vector<std::string>{"b/", "b/out/", "b/out/SourceDir/", "b/out/SourceDir/MyApp/",
                                      "b/out/SourceDir/MyApp/ok.txt"}));
  EXPECT_EQ(Tree(dir_.path()).size(), 9u);  // the six under a/, evil.cab, pkg/, pkg/app.msi
}

}  // namespace

namespace {

TEST_F(ExtractionTest, SymbolicLinksBelowTheTargetAreNeverFollowed) {
  WritePackage({kA, kB}, {"#A.cab"}, {{"A.cab", Cabinet({kA, kB})}});
  const std::string elsewhere = dir_ / "elsewhere";
  struct Case {
    const char* what;
    std::string link;   // below out_, pointing at `elsewhere`
    std::string shown;  // as the ERROR line names it
  };
  const Case cases[] = {
      {"at the top of the tree", "SourceDir", "SourceDir"},
      {"below it", "SourceDir/MyApp", "SourceDir/./MyApp"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(out_);
    fs::remove_all(elsewhere);
    fs::create_directories(elsewhere);
    fs::create_directories(fs::path(out_ + "/" + c.link).parent_path());
    fs::create_directory_symlink(elsewhere, out_ + "/" + c.link);
    EXPECT_EQ(Extract({"x", package_, "*", out_}),
              "Extract from inside CAB: A.cab\r\n"
              "ERROR: symbolic link \"" +
                  out_ + "/" + c.shown + "\" is not followed\r\n2/2 files\r\n");
    // The entries went where a folder that cannot be made sends them.
    EXPECT_EQ(ReadFile(out_ + "/FA"), kA.data);
    EXPECT_EQ(ReadFile(out_ + "/FB"), kB.data);
    EXPECT_TRUE(fs::is_empty(elsewhere));
    EXPECT_TRUE(fs::is_symlink(out_ + "/" + c.link));
  }
  // A link at a file's place is replaced, never written through; the target
  // folder itself may be a link (the user named it).
  fs::remove_all(out_);
  fs::create_directories(elsewhere);
  fs::create_directory_symlink(elsewhere, out_);
  fs::create_directories(out_ + "/SourceDir/MyApp");
  WriteFile(dir_ / "victim", "mine");
  fs::create_symlink(dir_ / "victim", out_ + "/SourceDir/MyApp/b.txt");
  EXPECT_EQ(Extract({"x", package_, "*", out_}), "Extract from inside CAB: A.cab\r\n2/2 files\r\n");
  EXPECT_EQ(ReadFile(elsewhere + "/SourceDir/MyApp/b.txt"), kB.data);
  EXPECT_FALSE(fs::is_symlink(elsewhere + "/SourceDir/MyApp/b.txt"));
  EXPECT_EQ(ReadFile(dir_ / "victim"), "mine");
}

TEST_F(ExtractionTest, FoldersTooDeepForAPathGoUnderTheirKeys) {
  // A chain of 500 folders of 9 bytes each: past 4096 bytes from about the
  // 455th on.
  std::vector<tool_tests::DirectoryRow> folders = {{"TARGETDIR", "", "SourceDir"}};
  for (int level = 1; level <= 500; ++level) {
    char name[16];
    std::snprintf(name, sizeof name, "d%07d", level);
    folders.push_back({"D" + std::to_string(level),
                       level == 1 ? "TARGETDIR" : "D" + std::to_string(level - 1), name});
  }
  fixtures::PackageDescription package =
      tool_tests::CataloguePackage(folders, {{"Low", "D2"}, {"High", "D500"}},
                                   {{"FLOW", "Low", "low.txt"}, {"FHIGH", "High", "high.txt"}});
  fixtures::Table media = fixtures::StandardTable("Media");
  media.rows = {{Int(1), Int(2), Null(), Str("#A.cab"), Null(), Null()}};
  package.tables.push_back(media);
  package.streams = {{"A.cab", Cabinet({{"FLOW", "", "low"}, {"FHIGH", "", "high"}})}};
  fixtures::WritePackageFile(package_, package);

  const auto listed = RunPandrel({"l", package_});
  EXPECT_EQ(listed.out.substr(Banner().size()),
            "SourceDir/d0000001/d0000002/low.txt\r\nFHIGH\r\n2/2 files\r\n");
  EXPECT_EQ(Extract({"x", "-v", package_, "*", out_}),
            "ERROR: 1 files lie in folders deeper than 4096 bytes: written under their File "
            "keys\r\n"
            "Extract from inside CAB: A.cab\r\n"
            "FLOW extracting\r\nFHIGH extracting\r\n"
            "FLOW -> SourceDir/d0000001/d0000002/low.txt renaming\r\n"
            "FHIGH -> FHIGH replaceing\r\n"
            "2/2 files\r\n");
  EXPECT_EQ(ReadFile(out_ + "/SourceDir/d0000001/d0000002/low.txt"), "low");
  EXPECT_EQ(ReadFile(out_ + "/FHIGH"), "high");
}

TEST_F(ExtractionTest, AFileACabinetDeliveredNeedsNoSourceBesideThePackage) {
  // Word Count 0 says every file lies uncompressed beside the package, yet
  // a cabinet holds them (as packages made by some tools have it).
  fixtures::PackageDescription package = tool_tests::SmallApplication(
      {{kA.key, kA.component, kA.file_name}, {kB.key, kB.component, kB.file_name}});
  fixtures::Table media = fixtures::StandardTable("Media");
  media.rows = {{Int(1), Int(2), Null(), Str("#A.cab"), Null(), Null()}};
  package.tables.push_back(media);
  package.streams = {{"A.cab", Cabinet({kA})},
                     {"\x05SummaryInformation", fixtures::SummaryInformationStream(1252, "", 0)}};
  fixtures::WritePackageFile(package_, package);
  // B is in no cabinet and not beside the package: that is still an error.
  EXPECT_EQ(Extract({"x", package_, "*", out_}),
            "Extract from inside CAB: A.cab\r\n"
            "ERROR: uncompressed file \"" +
                package_folder_ + "/MyApp/b.txt\" not exists\r\n2/2 files\r\n");
  EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/a.txt"), kA.data);
}

}  // namespace

namespace {

TEST_F(ExtractionTest, ReExtractingManyFilesStaysWithinTheDescriptorLimit) {
  // Into a tree that stands already, every file is opened as it is decoded
  // and closed on the writing thread: the decoding thread must not run
  // ahead by more descriptors than a process may have.
  std::vector<AppFile> many;
  for (int i = 0; i < 3000; ++i) many.push_back({"F" + std::to_string(i), std::to_string(i), "x"});
  WritePackage(many, {"#A.cab"}, {{"A.cab", Cabinet(many, CabCompression::kStored)}});
  const std::string expected = "Extract from inside CAB: A.cab\r\n3000/3000 files\r\n";
  EXPECT_EQ(Extract({"x", package_, "*", out_}), expected);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
  rlimit low = old;
  low.rlim_cur = 20;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  const std::string again = Extract({"x", package_, "*", out_});
  setrlimit(RLIMIT_NOFILE, &old);
  EXPECT_EQ(again, expected);
  EXPECT_EQ(ReadFile(out_ + "/SourceDir/MyApp/2999"), "x");
}

}  // namespace
