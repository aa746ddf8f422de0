// The one choke point that turns paths below the target folder into files
// and folders: what it finds at a level, and that it never goes through a
// symbolic link below the target folder.
#include "files/target_tree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using Level = files::TargetTree::Level;

TEST(TargetTree, WhatStandsAtALevelAndNoLinkIsGoneThrough) {
  test_support::TempDir dir;
  const fs::path top = dir.path() / "top";
  fs::create_directories(top / "folder");
  fs::create_directories(dir.path() / "elsewhere" / "inside");
  test_support::WriteFile(top / "file", "mine");
  std::error_code error;
  fs::create_directory_symlink(dir.path() / "elsewhere", top / "link", error);
  // Wine's file system cannot be given links from inside; the Windows
  // build's script check puts one there from outside.
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  fs::create_symlink(dir.path() / "elsewhere" / "gone", top / "dangling");

  files::TargetTree tree(top.string());
  ASSERT_TRUE(tree.valid());
  const struct {
    const char* name;
    Level level;
  } levels[] = {{"new", Level::kMade},
                {"folder", Level::kStood},
                {"link", Level::kLink},
                {"dangling", Level::kLink},
                {"file", Level::kBlocked}};
  for (const auto& c : levels) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(files::TargetTree::MakeFolder(tree.top(), c.name), c.level);
  }
  EXPECT_TRUE(fs::is_directory(top / "new"));
  EXPECT_FALSE(fs::exists(dir.path() / "elsewhere" / "gone"));

  // Opening a folder: through folders alone.
  EXPECT_TRUE(tree.OpenFolder("").valid());
  EXPECT_TRUE(tree.OpenFolder("folder/./").valid());
  EXPECT_FALSE(tree.OpenFolder("link").valid());
  EXPECT_FALSE(tree.OpenFolder("link/inside").valid());
  EXPECT_FALSE(tree.OpenFolder("../top").valid());
  EXPECT_FALSE(files::TargetTree::OpenChild(tree.top(), "link").valid());

  // A new file is made exclusively: never over a file or through a link.
  files::Reason why;
  EXPECT_FALSE(files::CreateNewFile(tree.top(), "dangling", &why).valid());
  EXPECT_EQ(why.kind, files::Reason::Kind::kExists);
  EXPECT_FALSE(fs::exists(dir.path() / "elsewhere" / "gone"));
  EXPECT_FALSE(files::CreateNewFile(tree.top(), "file", &why).valid());
  EXPECT_EQ(test_support::ReadFile(top / "file"), "mine");
  // A rename over a link replaces the link, not what it points at.
  EXPECT_TRUE(files::CreateNewFile(tree.top(), "fresh", nullptr).valid());
  EXPECT_TRUE(files::RenameAt(tree.top(), "fresh", "link"));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(top / "link")));
  EXPECT_TRUE(fs::is_directory(dir.path() / "elsewhere" / "inside"));
  EXPECT_FALSE(files::IsFolderAt(tree.top(), "link"));
  EXPECT_TRUE(files::IsFolderAt(tree.top(), "folder"));
}

TEST(TargetTree, TheTargetItselfMayBeALinkButNotAFile) {
  test_support::TempDir dir;
  fs::create_directories(dir.path() / "real");
  std::error_code error;
  fs::create_directory_symlink(dir.path() / "real", dir.path() / "named", error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  files::TargetTree tree((dir.path() / "named").string());
  ASSERT_TRUE(tree.valid());
  EXPECT_EQ(files::TargetTree::MakeFolder(tree.top(), "made"), Level::kMade);
  EXPECT_TRUE(fs::is_directory(dir.path() / "real" / "made"));

  test_support::WriteFile(dir.path() / "plain", "x");
  files::TargetTree not_a_folder((dir.path() / "plain").string());
  EXPECT_FALSE(not_a_folder.valid());
  EXPECT_TRUE(not_a_folder.error());
}

}  // namespace
