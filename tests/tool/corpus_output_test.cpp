// The listing and the registry script of real packages, line for line as
// expected (the credit line of the banner is ours, shown there as "*").
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

// The expected files end their lines in LF alone and show the credit line of
// the banner as "*"; the tool ends lines in CR LF and prints its own credit.
std::string AsPrinted(const std::string& expected) {
  std::string printed;
  for (char c : expected) {
    if (c == '\n') printed += '\r';
    printed += c;
  }
  std::size_t after_banner = 0;
  for (int line = 0; line < 4; ++line) after_banner = printed.find("\r\n", after_banner) + 2;
  return test_support::Banner() + printed.substr(after_banner);
}

class CorpusOutputTest : public ::testing::TestWithParam<std::string> {};

TEST_P(CorpusOutputTest, ListingsAndRegistryScriptsAreExact) {
  SKIP_WITHOUT_CORPUS();
  const fs::path corpus = test_support::CorpusDir();
  const std::string package = (corpus / (GetParam() + ".msi")).string();
  const fs::path expected = corpus / "expected";
  struct Case {
    std::vector<std::string> arguments;
    std::string expected_file;
  } cases[] = {
      {{"l", package}, GetParam() + ".l.txt"},
      {{"l", package, "*.exe"}, GetParam() + ".l-star-exe.txt"},
      {{"r", package}, GetParam() + ".r.txt"},
  };
  for (const auto& c : cases) {
    auto result = test_support::RunPandrel(c.arguments);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out, AsPrinted(test_support::ReadFile(expected / c.expected_file)))
        << c.expected_file;
  }
}

// The expected tree, its lines in the order TreeListing gives them.
std::string ExpectedTree(const fs::path& file) {
  std::vector<std::string> lines;
  std::string text = test_support::ReadFile(file);
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size() - 1;
    lines.push_back(text.substr(at, end - at) + "\n");
    at = end + 1;
  }
  std::sort(lines.begin(), lines.end());
  std::string sorted;
  for (const auto& line : lines) sorted += line;
  return sorted;
}

TEST_P(CorpusOutputTest, ExtractionLeavesExactlyTheExpectedTree) {
  SKIP_WITHOUT_CORPUS();
  const fs::path corpus = test_support::CorpusDir();
  const std::string expected = ExpectedTree(corpus / "expected" / (GetParam() + ".x.txt"));

  // Into an empty folder of the user's choice.
  test_support::TempDir out;
  auto result =
      test_support::RunPandrel({"x", (corpus / (GetParam() + ".msi")).string(), "*", out / "t"});
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(test_support::TreeListing(out / "t"), expected);

  // Beside the package, when no folder is named: a copy of the package (and
  // of any cabinet that lies beside it) in a folder of its own.
  test_support::TempDir beside;
  std::vector<fs::path> placed{beside.path() / "package.msi"};
  fs::copy_file(corpus / (GetParam() + ".msi"), placed.back());
  for (const auto& item : fs::directory_iterator(corpus)) {
    if (item.is_regular_file() && item.path().extension() == ".cab") {
      placed.push_back(beside.path() / item.path().filename());
      fs::copy_file(item.path(), placed.back());
    }
  }
  result = test_support::RunPandrel({"x", "package.msi"}, beside.path().string());
  EXPECT_EQ(result.exit_code, 0);
  for (const auto& path : placed) fs::remove(path);
  EXPECT_EQ(test_support::TreeListing(beside.path()), expected);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusOutputTest,
                         ::testing::Values("putty-0.68-installer", "msi_with_external_cab",
                                           "vcredist"));

}  // namespace
