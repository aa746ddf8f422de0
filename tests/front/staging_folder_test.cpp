// The private staging folder: created for the user alone, and refused when
// someone else could have a hand in it.
#include "core/staging_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
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
