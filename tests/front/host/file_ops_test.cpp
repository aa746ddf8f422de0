// Writing the staged tool; what a dropped path may be.
#include "host/file_ops.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/test_support.h"

namespace tarvelin {
namespace {

namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

TEST(FileOps, ToolIsWrittenWholeAndRunnableWhateverTheUmask) {
  TempDir dir;
  const std::string tool = dir / "Pandrel.exe";
  WriteFile(tool, std::string(100000, 'x'));  // a stale, longer copy
  const std::string bytes = std::string("#!/bin/sh\nexit 7\n") + std::string(1, '\0') + "tail";
  const mode_t old_umask = umask(0777);
  const bool written = WriteNewFile(tool, bytes, 0700);
  umask(old_umask);
  ASSERT_TRUE(written);
  EXPECT_EQ(ReadFile(tool), bytes);
  struct stat info {};
  ASSERT_EQ(stat(tool.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0700u);
  EXPECT_EQ(access(tool.c_str(), X_OK), 0);
}

TEST(FileOps, ALinkAtTheStagingNameIsReplacedNotFollowed) {
  TempDir dir;
  const std::string victim = dir / "victim";
  WriteFile(victim, "keep me");
  fs::create_symlink(victim, dir / "Pandrel.exe");
  ASSERT_TRUE(WriteNewFile(dir / "Pandrel.exe", "tool", 0700));
  EXPECT_EQ(ReadFile(victim), "keep me");
  EXPECT_FALSE(fs::is_symlink(dir / "Pandrel.exe"));
  EXPECT_EQ(ReadFile(dir / "Pandrel.exe"), "tool");
}

TEST(FileOps, OnlyARegularFileIsAPackageToReadAndNothingIsWaitedFor) {
  TempDir dir;
  WriteFile(dir / "a.msi", "x");
  fs::create_directory(dir / "folder.msi");
  // A named pipe with no writer: opening it to read would wait for one.
  ASSERT_EQ(mkfifo((dir / "pipe.msi").c_str(), 0600), 0);
  EXPECT_TRUE(ReadableFile(dir / "a.msi"));
  EXPECT_FALSE(ReadableFile(dir / "folder.msi"));
  EXPECT_FALSE(ReadableFile(dir / "pipe.msi"));
  EXPECT_FALSE(ReadableFile(dir / "missing.msi"));
  EXPECT_TRUE(IsFullPath("/a.msi"));
  EXPECT_FALSE(IsFullPath("a.msi"));
  EXPECT_FALSE(IsFullPath("-x"));
}

}  // namespace
}  // namespace tarvelin
