// A whole command line, as Windows hands it over, split by the tool's own
// rules: a backslash is an ordinary character, so a quoted folder that ends
// in one keeps it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "main/run_driver.h"

namespace {

TEST(SplitCommandLine, QuotesBlanksAndBackslashes) {
  using Words = std::vector<std::string>;
  const struct {
    const char* line;
    Words arguments;
  } cases[] = {
      {"pandrel.exe", {}},
      {"pandrel.exe l setup.msi", {"l", "setup.msi"}},
      {"\"C:\\Program Files\\pandrel.exe\" l \"C:\\My Files\\setup.msi\"",
       {"l", "C:\\My Files\\setup.msi"}},
      {"p x a.msi * \"D:\\out dir\\\"", {"x", "a.msi", "*", "D:\\out dir\\"}},
      {"p\tl\x01"
       "a.msi  *.exe ",
       {"l", "a.msi", "*.exe"}},
      {"p \"\" l \"\" a.msi", {"l", "a.msi"}},
      {"p l a\"b c\"d", {"l", "ab cd"}},
      {"p l \"unclosed folder\\", {"l", "unclosed folder\\"}},
      {"p \xE4\xB8\xAD.msi", {"\xE4\xB8\xAD.msi"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(SplitCommandLine(c.line), c.arguments);
  }
}

}  // namespace
