// Files that do not come from the Media table's cabinets: those that lie
// uncompressed beside the package, and a merge module's one cabinet stream.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <tuple>

#include "cabinet/source_layout.h"
#include "fixtures/layout_package.h"
#include "fixtures/merge_module.h"
#include "msidb/msi_handler.h"
#include "support/sha256.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using fixtures::LayoutDescription;
using test_support::Banner;
using test_support::RunPandrel;

constexpr const char* kSourceTime = "2019-03-04T05:06:07Z";   // kLayoutFileTime
constexpr const char* kCabinetTime = "2017-02-18T17:18:22Z";  // the cabinet writer's

class UncompressedTest : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(package_folder_); }

  // Runs x and returns what follows the banner.
  std::string Extract(const std::vector<std::string>& arguments) {
    auto result = RunPandrel(arguments);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out.substr(0, Banner().size()), Banner());
    return result.out.substr(std::min(result.out.size(), Banner().size()));
  }

  // What test_support::TreeListing gives for these files: path, data, time.
  using TreeFile = std::tuple<std::string, std::string, const char*>;
  static std::string Listing(const std::vector<TreeFile>& files) {
    std::vector<std::string> lines;
    for (const auto& [path, data, time] : files) {
      lines.push_back(path + "\t" + std::to_string(data.size()) + "\t" +
                      test_support::Sha256Hex(data) + "\t" + time + "\n");
    }
    std::sort(lines.begin(), lines.end());
    std::string listing;
    for (const auto& line : lines) listing += line;
    return listing;
  }

  test_support::TempDir dir_;
  std::string package_folder_ = dir_ / "pkg";
  std::string package_ = package_folder_ + "/app.msi";
  std::string out_ = dir_ / "out";
};

// What FindUncompressedSources gives for a package: key, path, safe.
using Source = std::tuple<std::string, std::string, bool>;

TEST_F(UncompressedTest, SelectedUncompressedFilesAndTheirSourcePaths) {
  using fixtures::LayoutPackage;
  const LayoutDescription looping{
      {{"A", "B", "a"}, {"B", "A", "b"}, {"R", "R", "SourceDir"}},
      {{"F1", "A", "f.txt", "1", 0, false, ""}, {"F2", "R", "g.txt", "2", 0, false, ""}},
      0,
      ""};
  struct Case {
    const char* what;
    std::function<fixtures::PackageDescription()> package;
    const char* mask;
    std::vector<Source> expected;
  };
  const Case cases[] = {
      {"long names",
       [] { return LayoutPackage(fixtures::UncompressedLayout(false)); },
       "*",
       {{"FRoot", "Root file.txt", true},
        {"FReadme", "Program Files/My App/Read me.txt", true},
        {"FGuide", "Program Files/My App/User guide.txt", true},
        {"FData", "Program Files/My App/Source Data/DATA.BIN", true},
        {"FGone", "Program Files/My App/Gone.txt", true}}},
      {"short names, a mask",
       [] { return LayoutPackage(fixtures::UncompressedLayout(true)); },
       "*.txt",
       {{"FRoot", "ROOT.TXT", true},
        {"FReadme", "PFILES/MYAPP~1/README.TXT", true},
        {"FGuide", "PFILES/MYAPP~1/GUIDE.TXT", true},
        {"FGone", "PFILES/MYAPP~1/GONE.TXT", true}}},
      {"compressed, one file noncompressed",
       [] { return LayoutPackage(fixtures::MixedLayout(true)); },
       "*",
       {{"FC", "My App/c.txt", true}}},
      {"uncompressed, one file compressed",
       [] { return LayoutPackage(fixtures::MixedLayout(false)); },
       "*",
       {{"FA", "My App/a.txt", true},
        {"FB", "My App/b file.txt", true},
        {"FD", "My App/d.txt", true}}},
      {"paths that leave the folder",
       [] { return LayoutPackage(fixtures::EscapingLayout()); },
       "*",
       {{"FOk", "APP/OK.TXT", true},
        {"FEvil", "APP/../../EVIL.TXT", false},
        {"FAbs", "/ETC/ABS.TXT", false}}},
      {"a loop of parents, a root that is its own parent",
       [&] { return LayoutPackage(looping); },
       "*",
       {{"F1", "b/a/f.txt", true}, {"F2", "g.txt", true}}},
      {"no summary: compressed",
       [] {
         auto package = LayoutPackage(fixtures::UncompressedLayout(false));
         package.streams.clear();
         return package;
       },
       "*",
       {}},
      {"a merge module, Word Count 0",
       [] { return fixtures::MergeModule(fixtures::CabCompression::kStored); },
       "*",
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fixtures::WritePackageFile(package_, c.package());
    TMsiHandler handler;
    ASSERT_TRUE(handler.OpenPackage(package_));
    handler.SelectFiles(c.mask, false);
    std::vector<Source> found;
    for (const UncompressedSource& source : FindUncompressedSources(handler)) {
      found.emplace_back(handler.catalogue()[kFileKey].At(source.entry), source.path, source.safe);
    }
    EXPECT_EQ(found, c.expected);
  }
}

TEST(SourceNames, FolderAndFileNamesAndWhichFilesAreUncompressed) {
  const std::tuple<const char*, bool, const char*> folders[] = {
      {"SourceDir", false, "SourceDir"},
      {".", false, ""},
      {".", true, ""},
      {"MYAPP~1|My App", false, "My App"},
      {"MYAPP~1|My App", true, "MYAPP~1"},
      {"Tgt:Src", false, "Src"},
      {"TGT~1|Target:SRC~1|Source", false, "Source"},
      {"TGT~1|Target:SRC~1|Source", true, "SRC~1"},
      {"Target:.", false, ""},
      {"Name:", false, "Name:"},
      {"Short|", false, "Short"},
  };
  for (const auto& [value, short_names, expected] : folders) {
    EXPECT_EQ(SourceFolderName(value, short_names), expected) << value << " " << short_names;
  }
  EXPECT_EQ(SourceFileName("NOTES~1.TXT|Release notes.txt", false), "Release notes.txt");
  EXPECT_EQ(SourceFileName("NOTES~1.TXT|Release notes.txt", true), "NOTES~1.TXT");
  EXPECT_EQ(SourceFileName("README.TXT", true), "README.TXT");

  // Word Count, Attributes -> uncompressed.
  const std::tuple<int, int, bool> files[] = {
      {0, 0, true},          {1, 0x200, true},   {2, 0, false},      {3, 0x400, false},
      {2, 0x2000, true},     {0, 0x4000, false}, {2, 0x6000, false}, {0, 0x6000, true},
      {4 | 2, 0x2200, true}, {4, 0x4000, false},
  };
  for (const auto& [word_count, attributes, expected] : files) {
    EXPECT_EQ(IsUncompressedFile(word_count, attributes), expected)
        << word_count << " " << attributes;
  }
}

TEST_F(UncompressedTest, SourceFilesAreFoundSegmentBySegmentIgnoringCase) {
  fs::create_directories(package_folder_ + "/Disk 1/Sub");
  fs::create_directories(package_folder_ + "/disk 1/sub");
  fs::create_directories(package_folder_ + "/Other/folder.txt");
  test_support::WriteFile(package_folder_ + "/Disk 1/Sub/File.TXT", "upper");
  test_support::WriteFile(package_folder_ + "/disk 1/sub/file.txt", "lower");
  test_support::WriteFile(package_folder_ + "/Other/Ab.txt", "Ab");
  test_support::WriteFile(package_folder_ + "/Other/aB.txt", "aB");
  const std::string base = package_folder_ + "/";
  const std::pair<const char*, const char*> cases[] = {
      {"Disk 1/Sub/File.TXT", "Disk 1/Sub/File.TXT"},  // exact names first
      {"disk 1/sub/file.txt", "disk 1/sub/file.txt"},
      {"DISK 1/SUB/FILE.txt", "Disk 1/Sub/File.TXT"},  // else the first in byte order
      {"OTHER/ab.TXT", "Other/Ab.txt"},
      {"Other/folder.txt", nullptr},  // a folder is not a file
      {"Other/none.txt", nullptr},
      {"None/Ab.txt", nullptr},
  };
  for (const auto& [path, expected] : cases) {
    std::optional<std::string> found = LocateSourceFile(base, path);
    if (expected == nullptr) {
      EXPECT_FALSE(found) << path;
    } else {
      EXPECT_EQ(found.value_or("(none)"), base + expected) << path;
    }
  }
}

// The `x` runs. Each writes the package and its layout, extracts everything
// and compares the output after the banner and the tree.
struct ExtractCase {
  const char* what;
  std::function<LayoutDescription()> layout;
  const char* mask;
  // The output after the banner; "<pkg>" stands for the package's folder.
  std::string output;
  // Files of the tree: path below the target folder, key of the data, time.
  std::vector<std::tuple<std::string, std::string, const char*>> tree;
};

TEST_F(UncompressedTest, XCopiesUncompressedFilesToTheirPlaces) {
  const std::string app = "SourceDir/Program Files/My App/";
  const std::vector<std::tuple<std::string, std::string, const char*>> layout_tree = {
      {"SourceDir/Root file.txt", "FRoot", kSourceTime},
      {app + "Read me.txt", "FReadme", kSourceTime},
      {app + "User guide.txt", "FGuide", kSourceTime},
      {app + "Source Data/DATA.BIN", "FData", kSourceTime}};
  const std::string mixed = "SourceDir/My App/";
  const ExtractCase cases[] = {
      {"long names", [] { return fixtures::UncompressedLayout(false); }, "*",
       "ERROR: uncompressed file \"<pkg>/Program Files/My App/Gone.txt\" not exists\r\n"
       "5/5 files\r\n",
       layout_tree},
      {"short names", [] { return fixtures::UncompressedLayout(true); }, "*",
       "ERROR: uncompressed file \"<pkg>/PFILES/MYAPP~1/GONE.TXT\" not exists\r\n"
       "5/5 files\r\n",
       layout_tree},
      {"a mask",
       [] { return fixtures::UncompressedLayout(false); },
       "read*",
       "1/5 files\r\n",
       {{app + "Read me.txt", "FReadme", kSourceTime}}},
      {"compressed, one file beside",
       [] { return fixtures::MixedLayout(true); },
       "*",
       "Extract from inside CAB: layout.cab\r\n4/4 files\r\n",
       {{mixed + "a.txt", "FA", kCabinetTime},
        {mixed + "b file.txt", "FB", kCabinetTime},
        {mixed + "c.txt", "FC", kSourceTime},
        {mixed + "d.txt", "FD", kCabinetTime}}},
      {"uncompressed, one file in the cabinet",
       [] { return fixtures::MixedLayout(false); },
       "*",
       "Extract from inside CAB: layout.cab\r\n4/4 files\r\n",
       {{mixed + "a.txt", "FA", kSourceTime},
        {mixed + "b file.txt", "FB", kSourceTime},
        {mixed + "c.txt", "FC", kCabinetTime},
        {mixed + "d.txt", "FD", kSourceTime}}},
      {"paths that leave the folder",
       [] { return fixtures::EscapingLayout(); },
       "*",
       "ERROR: unsafe name \"APP/../../EVIL.TXT\"\r\n"
       "ERROR: unsafe name \"/ETC/ABS.TXT\"\r\n"
       "3/3 files\r\n",
       {{"SourceDir/App/ok.txt", "FOk", kSourceTime}}},
  };
  for (const ExtractCase& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir_.path());
    const LayoutDescription layout = c.layout();
    fixtures::WriteLayout(package_folder_, "app.msi", layout);
    std::string expected = c.output;
    for (std::size_t at; (at = expected.find("<pkg>")) != std::string::npos;) {
      expected.replace(at, 5, package_folder_);
    }
    EXPECT_EQ(Extract({"x", package_, c.mask, out_}), expected);

    std::map<std::string, std::string> data;
    for (const auto& file : layout.files) data[file.key] = file.data;
    std::vector<TreeFile> files;
    for (const auto& [path, key, time] : c.tree) files.emplace_back(path, data[key], time);
    const std::string listing = Listing(files);
    EXPECT_EQ(test_support::TreeListing(out_), listing);
  }
  // The bait one level above the package's folder is still there, untouched.
  EXPECT_EQ(test_support::ReadFile(dir_ / "EVIL.TXT"), "bait\n");
}

TEST_F(UncompressedTest, VerboseLinesExtractingAgainAndASourceThatCannotBeRead) {
  fixtures::WriteLayout(package_folder_, "app.msi", fixtures::MixedLayout(true));
  EXPECT_EQ(Extract({"x", "-v", package_, "*", out_}),
            "Extract from inside CAB: layout.cab\r\n"
            "FA extracting\r\n"
            "FB extracting\r\n"
            "FD extracting\r\n"
            "FC copying\r\n"
            "FA -> SourceDir/My App/a.txt renaming\r\n"
            "FB -> SourceDir/My App/b file.txt renaming\r\n"
            "FC -> SourceDir/My App/c.txt renaming\r\n"
            "FD -> SourceDir/My App/d.txt renaming\r\n"
            "4/4 files\r\n");

  // Again into the same folder: the files are replaced, nothing is left over.
  const std::string listing = test_support::TreeListing(out_);
  Extract({"x", package_, "*", out_});
  EXPECT_EQ(test_support::TreeListing(out_), listing);

  // A pipe where the source file should be: the run goes on at once, and
  // the file from the last run stays as it was.
  const std::string source = package_folder_ + "/My App/c.txt";
  fs::remove(source);
  ASSERT_EQ(mkfifo(source.c_str(), 0600), 0);
  EXPECT_EQ(Extract({"x", package_, "*", out_}),
            "Extract from inside CAB: layout.cab\r\n"
            "ERROR: uncompressed file \"" +
                source + "\" could not be copied\r\n4/4 files\r\n");
  EXPECT_EQ(test_support::TreeListing(out_), listing);
}

TEST_F(UncompressedTest, AMergeModulesCabinetIsItsOneEmbeddedCabinet) {
  for (auto compression : {fixtures::CabCompression::kMszip, fixtures::CabCompression::kStored}) {
    fs::remove_all(out_);
    fixtures::WritePackageFile(package_folder_ + "/module.msm", fixtures::MergeModule(compression));
    EXPECT_EQ(Extract({"x", package_folder_ + "/module.msm", "*", out_}),
              "Extract from inside CAB: MergeModule.CABinet\r\n3/3 files\r\n");
    std::vector<TreeFile> files;
    for (const auto& file : fixtures::MergeModuleFiles()) {
      files.emplace_back(file.tree_path, file.data, kCabinetTime);
    }
    const std::string listing = Listing(files);
    EXPECT_EQ(test_support::TreeListing(out_), listing);
  }
}

}  // namespace
