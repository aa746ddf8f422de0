// The command line, as a user meets it: the built program run with
// arguments, its standard output and exit code.
#include "main/run_driver.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "fixtures/package_writer.h"
#include "support/test_support.h"
#include "tool/package_builders.h"

namespace {

using test_support::Banner;
using test_support::RunPandrel;
namespace fs = std::filesystem;

const char kUsage[] =
    "Usage: pandrel <cmd> [-opt] <msi> [mask [path]]\r\n"
    "\r\n"
    "Commands: l   list files\r\n"
    "          x   extract files\r\n"
    "          r   export registry (beta)\r\n"
    "Options:  v   verbose\r\n"
    "\r\n"
    "Examples: pandrel l \"d:\\Compuware DriverStudio.msi\"\r\n"
    "          pandrel l \"d:\\Compuware DriverStudio.msi\" *.sys\r\n"
    "          pandrel x MsnMsgs.msi *.bmp d:\\bmp\r\n"
    "          pandrel x -v temp\\MsnMsgs.msi *.bmp \\bmp\r\n";

class RunDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::WritePackageFile(
        package_, tool_tests::SmallApplication({{"F1", "Main", "README.TXT"},
                                                {"F2", "Main", "NOTES~1.TXT|Release notes.txt"}}));
  }
  test_support::TempDir dir_;
  std::string package_ = dir_ / "pkg.msi";
};

TEST_F(RunDriverTest, RefusedCommandLinesPrintBannerAndUsage) {
  const std::vector<std::vector<std::string>> refused = {
      {},
      {"l"},
      {"q", "pkg.msi"},
      {"q", "-v", "pkg.msi", "*", "out"},
      {"l", "pkg.msi", "*", "out", "more"},       // five without an option
      {"l", "-v", "pkg.msi", "*", "out", "six"},  // six
      {"x", "-r", "pkg.msi"},                     // R needs four or five
      {"x", "-q", "pkg.msi", "*.*"},
      {"", "pkg.msi"},  // "" is skipped: one argument is left
  };
  for (const auto& arguments : refused) {
    auto result = RunPandrel(arguments, dir_.path());
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out, Banner() + kUsage);
    EXPECT_EQ(result.err, "");
  }
  // Nothing was resolved or created for a refused line.
  EXPECT_FALSE(fs::exists(dir_ / "out"));
}

TEST_F(RunDriverTest, CommandLettersAndOptionsAreReadByTheirFirstCharacters) {
  const std::string listing = RunPandrel({"l", package_}).out;
  ASSERT_NE(listing.find("2/2 files"), std::string::npos) << listing;
  for (const auto& arguments :
       std::vector<std::vector<std::string>>{{"L", package_},
                                             {"list", package_},
                                             {"lx", package_},
                                             {"l", "-v", package_},
                                             {"l", "-Verbose", package_},
                                             {"l", "-r", package_, "*"},
                                             {"l", "-r", package_, "*", dir_ / "out"}}) {
    auto result = RunPandrel(arguments);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, listing) << arguments[0] << " " << arguments[1];
  }
  EXPECT_EQ(RunPandrel({"R", package_}).out, RunPandrel({"reg", "-v", package_}).out);
}

TEST_F(RunDriverTest, EmptyArgumentsAreSkippedWhereverTheyStand) {
  const std::string listing = RunPandrel({"l", package_}).out;
  ASSERT_NE(listing.find("2/2 files"), std::string::npos) << listing;
  // An empty mask, as a script passing an empty "$MASK" gives: the mask is
  // left out, not an empty one.
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"l", "", package_}, {"l", package_, ""}, {"", "l", "-v", "", package_, ""}}) {
    auto result = RunPandrel(arguments);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, listing);
  }
  // -v stays the option; the package is the next non-empty argument.
  auto extract = RunPandrel({"x", "-v", "", package_, "", "*", dir_ / "out"});
  EXPECT_EQ(extract.exit_code, 0);
  EXPECT_TRUE(fs::is_directory(dir_ / "out"));
  EXPECT_FALSE(fs::exists(dir_ / "-v"));
}

TEST_F(RunDriverTest, AnUnopenablePackageIsNamedByItsFullPath) {
  auto missing = RunPandrel({"l", "sub/../missing.msi"}, dir_.path());
  EXPECT_EQ(missing.exit_code, 2);
  EXPECT_EQ(missing.out,
            Banner() + "ERROR: invalid MSI file \"" + dir_.path().string() + "/missing.msi\"\r\n");

  // "-" alone is not an option: it is the package, and the mask follows.
  auto dash = RunPandrel({"l", "-", package_}, dir_.path());
  EXPECT_EQ(dash.exit_code, 2);
  EXPECT_EQ(dash.out, Banner() + "ERROR: invalid MSI file \"" + dir_.path().string() + "/-\"\r\n");

  // With two arguments the second is the package even when it looks like an option.
  auto option = RunPandrel({"l", "-v"}, dir_.path());
  EXPECT_EQ(option.exit_code, 2);
  EXPECT_EQ(option.out,
            Banner() + "ERROR: invalid MSI file \"" + dir_.path().string() + "/-v\"\r\n");

  test_support::WriteFile(dir_ / "fake.msi", std::string(4096, 'x'));
  auto fake = RunPandrel({"x", "fake.msi", "*", "never"}, dir_.path());
  EXPECT_EQ(fake.exit_code, 2);
  EXPECT_FALSE(fs::exists(dir_ / "never"));  // no folder for a package that did not open
}

TEST_F(RunDriverTest, UnderVerboseStandardErrorSaysWhyThePackageDidNotOpen) {
  test_support::WriteFile(dir_ / "fake.msi", std::string(4096, 'x'));
  const std::string line =
      Banner() + "ERROR: invalid MSI file \"" + dir_.path().string() + "/fake.msi\"\r\n";
  auto quiet = RunPandrel({"x", "fake.msi"}, dir_.path());
  EXPECT_EQ(quiet.exit_code, 2);
  EXPECT_EQ(quiet.out, line);
  EXPECT_EQ(quiet.err, "");

  auto verbose = RunPandrel({"x", "-v", "fake.msi"}, dir_.path());
  EXPECT_EQ(verbose.exit_code, 2);
  EXPECT_EQ(verbose.out, line);  // standard output exactly as without -v
  EXPECT_EQ(verbose.err, "pandrel: not a compound file (bad signature)\n");

  auto missing = RunPandrel({"l", "-v", "none.msi", "*"}, dir_.path());
  EXPECT_EQ(missing.exit_code, 2);
  EXPECT_EQ(missing.err, "pandrel: cannot open " + dir_.path().string() + "/none.msi\n");
}

// Runs the built tool in `folder` after removing that folder, as when
// another shell ran "rmdir" on the folder the run starts in.
test_support::RunResult RunInRemovedFolder(const std::string& folder,
                                           std::vector<std::string> arguments) {
  test_support::TempDir capture;
  const std::string out_path = capture / "out";
  const std::string err_path = capture / "err";
  std::string binary = test_support::PandrelBinary();
  std::vector<char*> argv{binary.data()};
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return {};
  if (pid == 0) {
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0 ||
        chdir(folder.c_str()) != 0 || rmdir(folder.c_str()) != 0) {
      _exit(126);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  test_support::RunResult result;
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = test_support::ReadFile(out_path);
  result.err = test_support::ReadFile(err_path);
  return result;
}

TEST_F(RunDriverTest, ARemovedCurrentFolderRefusesRelativePathsAndNeverFallsBackToTheRoot) {
  struct Case {
    std::vector<std::string> arguments;
    std::string unresolved;  // the path the error line names
  };
  const std::string package = package_;
  const std::vector<Case> cases = {
      {{"l", "pkg.msi"}, "pkg.msi"},
      {{"x", "-v", "sub/../pkg.msi", "*"}, "sub/../pkg.msi"},
      {{"x", package, "*", "out"}, "out"},  // a full package, a relative target
      {{"r", "-r", package, "*", "."}, "."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.unresolved);
    const std::string gone = dir_ / "gone";
    fs::create_directory(gone);
    auto result = RunInRemovedFolder(gone, c.arguments);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out, Banner() + "ERROR: cannot make a full path of \"" + c.unresolved +
                              "\": the current folder cannot be read\r\n");
    EXPECT_FALSE(fs::exists(gone));
  }
  // A full package path and no target still run: the target is the
  // package's folder.
  const std::string gone = dir_ / "gone";
  fs::create_directory(gone);
  auto full = RunInRemovedFolder(gone, {"l", package});
  EXPECT_EQ(full.exit_code, 0);
  EXPECT_NE(full.out.find("2/2 files"), std::string::npos) << full.out;
}

TEST_F(RunDriverTest, TheTargetFolderIsCreatedForEveryCommand) {
  const std::string deep = dir_ / "new/deep/folder";
  auto result = RunPandrel({"l", package_, "*", deep});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_TRUE(fs::is_directory(deep));

  auto relative = RunPandrel({"r", "pkg.msi", "*", "rel/x/"}, dir_.path());
  EXPECT_EQ(relative.exit_code, 0);
  EXPECT_TRUE(fs::is_directory(dir_ / "rel/x"));

  // A folder that cannot be made is not reported; the command still runs.
  test_support::WriteFile(dir_ / "file", "in the way");
  auto blocked = RunPandrel({"l", package_, "*", dir_ / "file/sub"});
  EXPECT_EQ(blocked.exit_code, 0);
  EXPECT_NE(blocked.out.find("2/2 files"), std::string::npos);
}

TEST_F(RunDriverTest, PathsLongerThanTheOldLimitAreHandledWhole) {
  // Folders of 100 characters each, four deep: well past 259 characters.
  std::string folder = dir_.path().string();
  for (char c : {'a', 'b', 'c', 'd'}) folder += "/" + std::string(100, c);
  fs::create_directories(folder);
  fs::copy_file(package_, folder + "/pkg.msi");
  const std::string target = folder + "/" + std::string(120, 'e') + "/out";
  auto result = RunPandrel({"l", folder + "/pkg.msi", "*", target});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_NE(result.out.find("2/2 files"), std::string::npos);
  EXPECT_TRUE(fs::is_directory(target));

  auto missing = RunPandrel({"l", folder + "/none.msi"});
  EXPECT_EQ(missing.out, Banner() + "ERROR: invalid MSI file \"" + folder + "/none.msi\"\r\n");
}

TEST_F(RunDriverTest, AFailedWriteToStandardOutputEndsWithExitCodeOne) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  auto result = RunPandrel({"l", package_}, "", "/dev/full");
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_EQ(result.err, "");
}

TEST(ParseCommandLine, SettlesTheRunOptions) {
  auto options = ParseCommandLine({"x", "-v", "a.msi", "*.dll", "out"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->command, 'X');
  EXPECT_TRUE(options->verbose);
  EXPECT_EQ(options->package, "a.msi");
  EXPECT_EQ(options->mask, "*.dll");
  EXPECT_EQ(options->path, "out");

  options = ParseCommandLine({"r", "-rr", "a.msi", "*"});
  ASSERT_TRUE(options);
  EXPECT_FALSE(options->verbose);
  EXPECT_EQ(options->path, std::nullopt);

  options = ParseCommandLine({"l", "-x.msi"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->package, "-x.msi");
  EXPECT_EQ(options->mask, std::nullopt);
}

TEST(CountedArguments, SkipEveryEmptyArgumentWhereverItStands) {
  char program[] = "pandrel", l[] = "l", empty[] = "", v[] = "-v", pkg[] = "p.msi";
  char* argv[] = {program, l, empty, pkg, nullptr};
  EXPECT_EQ(CountedArguments(4, argv), (std::vector<std::string>{"l", "p.msi"}));
  char* verbose[] = {program, empty, l, v, empty, pkg, empty, nullptr};
  EXPECT_EQ(CountedArguments(7, verbose), (std::vector<std::string>{"l", "-v", "p.msi"}));
  char* nothing[] = {program, empty, empty, nullptr};
  EXPECT_EQ(CountedArguments(3, nothing), std::vector<std::string>{});
}

}  // namespace
