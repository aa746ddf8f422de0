#include "catalogue/names.h"

#include <gtest/gtest.h>

TEST(CutAt, SplitsAtTheFirstSeparatorOnly) {
  std::string text = "a|b|c";
  EXPECT_EQ(CutAt(text, '|'), "a");
  EXPECT_EQ(text, "b|c");

  std::string none = "plain";
  EXPECT_EQ(CutAt(none, '|'), "plain");
  EXPECT_EQ(none, "");

  std::string trailing = "Short|";
  EXPECT_EQ(CutAt(trailing, '|'), "Short");
  EXPECT_EQ(trailing, "");
}

TEST(DirectorySegment, TakesTheSourcePartAndItsLongName) {
  EXPECT_EQ(DirectorySegment("SourceDir"), "SourceDir/");
  EXPECT_EQ(DirectorySegment("."), "./");
  EXPECT_EQ(DirectorySegment("MYAPP~1|MyApp"), "MyApp/");
  EXPECT_EQ(DirectorySegment("Tgt:Src"), "Src/");
  EXPECT_EQ(DirectorySegment("TGT~1|Target:SRC~1|Source"), "Source/");
  EXPECT_EQ(DirectorySegment("Short|"), "Short/");
  // A value that ends in its only ":" is used whole.
  EXPECT_EQ(DirectorySegment("Name:"), "Name:/");
  EXPECT_EQ(DirectorySegment("a:b:c"), "b:c/");
  EXPECT_EQ(DirectorySegment(""), "/");
}

TEST(LongFileName, TakesTheTextAfterTheFirstBar) {
  EXPECT_EQ(LongFileName("README.TXT"), "README.TXT");
  EXPECT_EQ(LongFileName("NOTES~1.TXT|Release notes.txt"), "Release notes.txt");
  EXPECT_EQ(LongFileName("LAST|"), "LAST|");
  EXPECT_EQ(LongFileName("a|b|c"), "b|c");
  // File names get no ":" handling.
  EXPECT_EQ(LongFileName("x:y"), "x:y");
  EXPECT_EQ(LongFileName(""), "");
}
