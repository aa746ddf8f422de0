// The names under which a dropped package's results are filed.
#include "run/run_names.h"

#include "files/host_names.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarvelin {
namespace {

TEST(RunNames, NameFolderAndBaseOfADroppedPath) {
  struct Case {
    const char* path;
    const char* name;
    const char* folder;
    const char* base;
    const char* result_folder;
  };
  const std::vector<Case> posix = {
      {"/a/b/setup.msi", "setup.msi", "/a/b", "setup", "/a/b/setup_EXT"},
      // the base ends at the first dot, not the last
      {"/p/my.setup.final.msi", "my.setup.final.msi", "/p", "my", "/p/my_EXT"},
      // an empty base is valid
      {"/p/.msi", ".msi", "/p", "", "/p/_EXT"},
      // the folder ends at the last "/", even when it holds the name
      {"/setup.msi.old/setup.msi", "setup.msi", "/setup.msi.old", "setup",
       "/setup.msi.old/setup_EXT"},
      {"/pkgs with blanks/foo.bar.msi", "foo.bar.msi", "/pkgs with blanks", "foo",
       "/pkgs with blanks/foo_EXT"},
      // a package in the root folder
      {"/x.msi", "x.msi", "", "x", "/x_EXT"},
  };
  // Windows: the Parts' own examples; "/" separates too.
  const std::vector<Case> windows = {
      {"D:\\a\\b\\setup.msi", "setup.msi", "D:\\a\\b", "setup", "D:\\a\\b\\setup_EXT"},
      {"D:\\pkgs\\foo.bar.msi", "foo.bar.msi", "D:\\pkgs", "foo", "D:\\pkgs\\foo_EXT"},
      {"D:\\setup.msi.old\\setup.msi", "setup.msi", "D:\\setup.msi.old", "setup",
       "D:\\setup.msi.old\\setup_EXT"},
      {"\\\\server\\share\\.msi", ".msi", "\\\\server\\share", "", "\\\\server\\share\\_EXT"},
      {"C:/pkgs/my.setup.msi", "my.setup.msi", "C:/pkgs", "my", "C:/pkgs\\my_EXT"},
  };
  for (const Case& c : files::Separator() == '/' ? posix : windows) {
    SCOPED_TRACE(c.path);
    const auto names = SplitPackagePath(c.path);
    ASSERT_TRUE(names.has_value());
    EXPECT_EQ(names->name, c.name);
    EXPECT_EQ(names->folder, c.folder);
    EXPECT_EQ(names->base, c.base);
    EXPECT_EQ(names->ResultFolder(), c.result_folder);
    EXPECT_EQ(names->RegistryScriptName(), std::string(c.base) + "_ext.reg");
  }
}

TEST(RunNames, PathsWithoutABaseAreRefused) {
  EXPECT_FALSE(SplitPackagePath(""));               // a drop that carried no file
  EXPECT_FALSE(SplitPackagePath("/pkgs/setup"));    // no dot in the name
  EXPECT_FALSE(SplitPackagePath("/pkgs.d/setup"));  // the dot is in the folder only
  EXPECT_FALSE(SplitPackagePath("/pkgs/"));         // no name at all
  EXPECT_FALSE(SplitPackagePath("setup.msi"));      // no folder to file into
}

}  // namespace
}  // namespace tarvelin
