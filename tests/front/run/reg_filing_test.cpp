// Filing the tool's registry output as a script beside the extracted tree.
#include "run/reg_filing.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "files/host_names.h"
#include "support/test_support.h"

namespace tarvelin {
namespace {

using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

// The credit names the host the window runs on.
const std::string kComments = std::string(";Tarvelin Ver0.5\r\n;Windows Installer unpacker for ") +
                              (files::Separator() == '/' ? "Linux" : "Windows") +
                              ", by the Tarvelin and Pandrel developers\r\n";
const std::string kBanner =
    "Pandrel\r\ncredit\r\n24 Apr 2004                       Version 0.2\r\n\r\n";

std::string Filed(const std::string* output) {
  TempDir dir;
  if (output != nullptr) WriteFile(dir / "reg.reg", *output);
  EXPECT_TRUE(FileRegistryScript(dir / "reg.reg", dir / "foo_ext.reg"));
  return ReadFile(dir / "foo_ext.reg");
}

std::string Filed(const std::string& output) { return Filed(&output); }

TEST(RegFiling, ScriptStartsAtTheFifthLineAndEndsWithTheComments) {
  EXPECT_EQ(Filed(kBanner + "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n"
                            "\"v\"=\"  kept as read  \"\r\n"),
            "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n"
            "\"v\"=\"  kept as read  \"\r\n" +
                kComments);
}

TEST(RegFiling, LineEndsAreNormalisedToCrLfAndBytesKept) {
  // Bare line feeds, a last line without an end, UTF-8 and a lone CR inside.
  EXPECT_EQ(Filed("1\n2\n3\n4\n[HKEY_USERS\\键]\n\"a\"=\"x\ry\"\nlast"),
            "[HKEY_USERS\\键]\r\n\"a\"=\"x\ry\"\r\nlast\r\n" + kComments);
}

TEST(RegFiling, ShortOrMissingOutputGivesWhatThereIs) {
  EXPECT_EQ(Filed(kBanner), kComments);                     // exactly four lines
  EXPECT_EQ(Filed(std::string("Pandrel\r\n")), kComments);  // cut short
  EXPECT_EQ(Filed(std::string()), kComments);               // empty
  EXPECT_EQ(Filed(nullptr), kComments);                     // missing
}

TEST(RegFiling, StaleScriptIsReplacedAndAFailedWriteLeavesNone) {
  TempDir dir;
  WriteFile(dir / "reg.reg", kBanner + "new\r\n");
  WriteFile(dir / "foo_ext.reg", "stale stale stale stale stale stale stale stale stale\r\n");
  ASSERT_TRUE(FileRegistryScript(dir / "reg.reg", dir / "foo_ext.reg"));
  EXPECT_EQ(ReadFile(dir / "foo_ext.reg"), "new\r\n" + kComments);

  EXPECT_FALSE(FileRegistryScript(dir / "reg.reg", dir / "missing folder/foo_ext.reg"));
  EXPECT_FALSE(std::filesystem::exists(dir / "missing folder"));
}

}  // namespace
}  // namespace tarvelin
