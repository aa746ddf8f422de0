#include "files/files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;

class CurrentFolder {
 public:
  explicit CurrentFolder(const fs::path& path) : saved_(fs::current_path()) {
    fs::current_path(path);
  }
  ~CurrentFolder() { fs::current_path(saved_); }

 private:
  fs::path saved_;
};

TEST(FullPathName, ResolvesAsTextAgainstTheCurrentFolder) {
  test_support::TempDir dir;
  const std::string base = fs::canonical(dir.path()).string();
  fs::create_directory(dir.path() / "real");
  fs::create_directory_symlink(dir.path() / "real", dir.path() / "link");
  CurrentFolder here(base);
  EXPECT_EQ(files::FullPathName("pkg.msi"), base + "/pkg.msi");
  EXPECT_EQ(files::FullPathName("./a/../b/./c.msi"), base + "/b/c.msi");
  EXPECT_EQ(files::FullPathName("-v"), base + "/-v");
  EXPECT_EQ(files::FullPathName("out/"), base + "/out/");
  // Symbolic links stay as written: "link/.." is the folder that holds "link".
  EXPECT_EQ(files::FullPathName("link/../x"), base + "/x");
  EXPECT_EQ(files::FullPathName("/a//b/../c"), "/a/c");
  EXPECT_EQ(files::FullPathName("/../.."), "/");
  EXPECT_EQ(files::FullPathName("/"), "/");
  const std::string long_name(5000, 'n');
  EXPECT_EQ(files::FullPathName(long_name), base + "/" + long_name);
}

TEST(FullPathName, IsEmptyForARelativePathWhenTheCurrentFolderIsGone) {
  test_support::TempDir dir;
  const fs::path gone = dir.path() / "gone";
  fs::create_directory(gone);
  CurrentFolder here(gone);
  fs::remove(gone);
  EXPECT_EQ(files::FullPathName("pkg.msi"), "");
  EXPECT_EQ(files::FullPathName("."), "");
  EXPECT_EQ(files::FullPathName("/abs/pkg.msi"), "/abs/pkg.msi");
}

TEST(MakeFolderChain, CreatesEveryMissingLevelAndStopsAtTheFirstFailure) {
  test_support::TempDir dir;
  EXPECT_TRUE(files::MakeFolderChain(dir / "a/b/c/"));
  EXPECT_TRUE(files::FolderExists(dir / "a/b/c"));
  EXPECT_TRUE(files::MakeFolderChain(dir / "a/b/c"));  // already there
  EXPECT_TRUE(files::MakeFolderChain("/"));

  test_support::WriteFile(dir / "file", "x");
  EXPECT_FALSE(files::MakeFolderChain(dir / "file/d/e"));
  EXPECT_FALSE(fs::exists(dir / "file/d"));
  EXPECT_TRUE(files::FileExists(dir / "file"));
  EXPECT_FALSE(files::FileExists(dir / "a"));
}

TEST(FolderPart, KeepsTheLastSlash) {
  EXPECT_EQ(files::FolderPart("/a/b/pkg.msi"), "/a/b/");
  EXPECT_EQ(files::FolderPart("/pkg.msi"), "/");
  EXPECT_EQ(files::FolderPart("pkg.msi"), "");
}

}  // namespace
