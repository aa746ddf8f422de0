// Helpers shared by the tests: temporary folders, files, the corpus of real
// packages, and running the built `pandrel` as a user would.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace test_support {

// A fresh folder below the system's temporary folder, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

// The folder of real packages, or an empty path when it is not there; tests
// that need it skip with a visible message then.
std::filesystem::path CorpusDir();

struct RunResult {
  int exit_code = -1;
  std::string out;  // standard output, bytes unchanged
  std::string err;  // standard error
};

// Runs the built tool with `args` (not including the program name) in the
// folder `cwd` (the current folder when empty).
RunResult RunPandrel(const std::vector<std::string>& args, const std::string& cwd = "",
                     const std::string& stdout_path = "");

std::string PandrelBinary();

// Splits tool output into lines at CR LF; fails the test on a bare LF.
std::vector<std::string> OutputLines(const std::string& out);

// The four banner lines with CR LF, as every run prints them first.
std::string Banner();

}  // namespace test_support

#define SKIP_WITHOUT_CORPUS()                                                       \
  do {                                                                              \
    if (test_support::CorpusDir().empty())                                          \
      GTEST_SKIP() << "the corpus of real packages (../shared/corpus) is not here"; \
  } while (0)

namespace test_support {

// Every regular file below `root`, one line each, sorted by path:
// relative path, TAB, size, TAB, sha256, TAB, modification time as UTC
// (2017-02-18T17:10:22Z), LF.
std::string TreeListing(const std::filesystem::path& root);

}  // namespace test_support
