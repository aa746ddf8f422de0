// The private staging folder: created for the user alone, and refused when
// someone else could have a hand in it; one locked folder per run inside it.
#include "host/staging_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "support/test_support.h"

namespace tarvelin {
namespace {

namespace fs = std::filesystem;
using test_support::TempDir;

std::string Expected(const TempDir& dir) {
  return (dir.path() / ("tarvelin-" + std::to_string(getuid()))).string();
}

unsigned Mode(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(lstat(path.c_str(), &info), 0);
  return info.st_mode & 07777;
}

TEST(StagingFolder, CreatedForTheUserAloneAndTightenedWhenLoose) {
  TempDir dir;
  const mode_t old_umask = umask(0);
  const auto made = PrepareStagingFolder(dir.path().string());
  umask(old_umask);
  ASSERT_TRUE(made.has_value());
  EXPECT_EQ(*made, Expected(dir) + "/");
  EXPECT_EQ(Mode(Expected(dir)), 0700u);

  ASSERT_EQ(chmod(Expected(dir).c_str(), 0777), 0);
  ASSERT_TRUE(PrepareStagingFolder(dir.path().string()).has_value());
  EXPECT_EQ(Mode(Expected(dir)), 0700u);
}

TEST(StagingFolder, RefusedWhenNotARealFolderOfTheUser) {
  {
    SCOPED_TRACE("a symbolic link to a folder");
    TempDir dir, elsewhere;
    fs::create_directory_symlink(elsewhere.path(), Expected(dir));
    EXPECT_FALSE(PrepareStagingFolder(dir.path().string()).has_value());
    EXPECT_EQ(Mode(elsewhere.path().string()), 0700u);  // mkdtemp's, untouched
  }
  {
    SCOPED_TRACE("a file");
    TempDir dir;
    test_support::WriteFile(Expected(dir), "x");
    EXPECT_FALSE(PrepareStagingFolder(dir.path().string()).has_value());
  }
  if (getuid() == 0) {
    SCOPED_TRACE("a folder of another user");
    TempDir dir;
    ASSERT_EQ(mkdir(Expected(dir).c_str(), 0700), 0);
    ASSERT_EQ(chown(Expected(dir).c_str(), 65534, 65534), 0);
    EXPECT_FALSE(PrepareStagingFolder(dir.path().string()).has_value());
  }
}

TEST(StagingFolder, EachRunHasAFolderOfItsOwnThatNoCleanUpTouches) {
  TempDir dir;
  const std::string staging = dir.path().string() + "/";
  std::optional<RunFolder> first = RunFolder::Create(staging);
  std::optional<RunFolder> second = RunFolder::Create(staging);
  ASSERT_TRUE(first && second);
  EXPECT_NE(first->path(), second->path());
  EXPECT_EQ(first->path().rfind(staging + "run-", 0), 0u);
  EXPECT_EQ(Mode(first->path()), 0700u);
  test_support::WriteFile(first->path() + "Pandrel.exe", "a running run's tool");

  // Left over by a run that was killed: no lock on it.
  const std::string left_over = staging + "run-killed";
  fs::create_directories(left_over + "/out/SourceDir");
  test_support::WriteFile(left_over + "/out/SourceDir/a.txt", "half done");
  // Not a run folder: never touched.
  test_support::WriteFile(staging + "run-file", "a file");
  fs::create_directory_symlink(left_over, staging + "run-link");
  fs::create_directory(staging + "other");

  EXPECT_EQ(RemoveFinishedRuns(staging), 1);
  EXPECT_FALSE(fs::exists(left_over));
  EXPECT_EQ(test_support::ReadFile(first->path() + "Pandrel.exe"), "a running run's tool");
  EXPECT_TRUE(fs::is_directory(second->path()));
  EXPECT_TRUE(fs::exists(staging + "run-file"));
  EXPECT_TRUE(fs::is_symlink(staging + "run-link"));
  EXPECT_TRUE(fs::is_directory(staging + "other"));

  // A run's own removal takes its whole folder.
  const std::string first_path = first->path();
  first->Remove();
  EXPECT_FALSE(fs::exists(first_path));
  // A run that ended without removing its folder leaves it unlocked: the
  // next clean-up takes it.
  const std::string second_path = second->path();
  second.reset();
  EXPECT_TRUE(fs::is_directory(second_path));
  EXPECT_EQ(RemoveFinishedRuns(staging), 1);
  EXPECT_FALSE(fs::exists(second_path));
}

TEST(StagingFolder, SystemTempComesFromTmpdirWhenAbsolute) {
  const char* saved = getenv("TMPDIR");
  const std::string restore = saved != nullptr ? saved : "";
  setenv("TMPDIR", "/some/where//", 1);
  EXPECT_EQ(SystemTempFolder(), "/some/where");
  setenv("TMPDIR", "relative", 1);
  EXPECT_EQ(SystemTempFolder(), "/tmp");
  unsetenv("TMPDIR");
  EXPECT_EQ(SystemTempFolder(), "/tmp");
  if (saved != nullptr) setenv("TMPDIR", restore.c_str(), 1);
}

}  // namespace
}  // namespace tarvelin
