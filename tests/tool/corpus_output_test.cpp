// The listing and the registry script of real packages, line for line as
// expected (the credit line of the banner is ours, shown there as "*").
#include <gtest/gtest.h>

#include <filesystem>

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

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusOutputTest,
                         ::testing::Values("putty-0.68-installer", "msi_with_external_cab",
                                           "vcredist"));

}  // namespace
