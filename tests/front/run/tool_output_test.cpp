// The tool's ERROR lines, read from its output as it comes.
#include "run/tool_output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace tarvelin {
namespace {

using Lines = std::vector<std::string>;

TEST(ToolOutput, ErrorLinesInOutputFedInPiecesOfEverySize) {
  struct Case {
    const char* what;
    std::string output;
    Lines kept;
  };
  const std::string banner = "Pandrel\r\ncredit\r\n24 Apr 2004   Version 0.2\r\n\r\n";
  const Case cases[] = {
      {"a clean run", banner + "Extract from inside CAB: a.cab\r\n2/2 files\r\n", {}},
      {"a damaged cabinet",
       banner + "ERROR: cabinet \"/p/data1.cab\" could not be extracted\r\n",
       {"ERROR: cabinet \"/p/data1.cab\" could not be extracted"}},
      {"two, with a bare LF and no end on the last",
       "ERROR: outside CAB \"/p/x.cab\" not exists\nok\r\nERROR: invalid MSI file \"/p/a\"",
       {"ERROR: outside CAB \"/p/x.cab\" not exists", "ERROR: invalid MSI file \"/p/a\""}},
      {"only at the start of a line", "no ERROR here\r\n ERROR: indented\r\nerror: lower\r\n", {}},
      {"a CR inside a line stays", "ERROR: a\rb\r\n", {"ERROR: a\rb"}},
  };
  for (const Case& c : cases) {
    for (std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{7}, c.output.size()}) {
      SCOPED_TRACE(std::string(c.what) + ", pieces of " + std::to_string(piece));
      ErrorLines lines;
      for (std::size_t at = 0; at < c.output.size(); at += piece)
        lines.Feed(std::string_view(c.output).substr(at, piece));
      lines.Finish();
      EXPECT_EQ(lines.Kept(), c.kept);
      EXPECT_EQ(lines.Any(), !c.kept.empty());
      EXPECT_EQ(lines.Dropped(), 0u);
    }
  }
}

TEST(ToolOutput, HostileOutputIsBounded) {
  ErrorLines lines;
  const std::string long_line = "ERROR: " + std::string(100000, 'x');
  lines.Feed(long_line + "\r\n");
  for (std::size_t i = 0; i < 2 * ErrorLines::kMaxLines; ++i) lines.Feed("ERROR: again\r\n");
  lines.Finish();
  ASSERT_EQ(lines.Kept().size(), ErrorLines::kMaxLines);
  EXPECT_EQ(lines.Kept()[0], long_line.substr(0, ErrorLines::kMaxLineBytes));
  EXPECT_EQ(lines.Kept()[1], "ERROR: again");
  EXPECT_EQ(lines.Dropped(), ErrorLines::kMaxLines + 1);
}

TEST(ToolOutput, ReadFromAFile) {
  test_support::TempDir dir;
  test_support::WriteFile(dir / "reg.reg", "Pandrel\r\nERROR: unexpected failure: x\r\n");
  ErrorLines lines;
  ReadErrorLines(dir / "reg.reg", lines);
  EXPECT_EQ(lines.Kept(), Lines{"ERROR: unexpected failure: x"});
  ErrorLines none;
  ReadErrorLines(dir / "missing", none);
  EXPECT_FALSE(none.Any());
}

}  // namespace
}  // namespace tarvelin
