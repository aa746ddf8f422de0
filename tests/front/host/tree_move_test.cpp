// Moving the extracted tree into the result folder: merging, replacing, across
// file systems, and never losing a file when the move cannot finish.
#include "host/tree_move.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>

#include "support/test_support.h"

namespace tarvelin {
namespace {

namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::TempDir;
using test_support::WriteFile;

// Every regular file below `root` with its contents, by relative path.
std::map<std::string, std::string> Files(const fs::path& root) {
  std::map<std::string, std::string> files;
  if (!fs::is_directory(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), root).string()] = ReadFile(entry.path());
  }
  return files;
}

void Put(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  WriteFile(path, bytes);
}

// A small extracted tree, as the tool leaves it.
void MakeSourceTree(const fs::path& source) {
  Put(source / "PFiles/App/app.exe", "new app");
  Put(source / "PFiles/App/Docs/readme.txt", "new readme");
  Put(source / "Win/sys.dll", "new dll");
  Put(source / "foo_ext.reg", "script");
}

TEST(TreeMove, MergesIntoAnExistingFolderAndReplacesFiles) {
  TempDir dir;
  const fs::path source = dir.path() / "SourceDir";
  const fs::path target = dir.path() / "pkgs/foo_EXT";
  MakeSourceTree(source);
  Put(target / "PFiles/App/app.exe", "old app, longer than the new one");
  Put(target / "PFiles/App/mine.txt", "the user's own");
  Put(target / "notes.txt", "also the user's");

  ASSERT_TRUE(MoveFolderContents(source.string(), target.string()));
  EXPECT_EQ(Files(target), (std::map<std::string, std::string>{
                               {"PFiles/App/app.exe", "new app"},
                               {"PFiles/App/Docs/readme.txt", "new readme"},
                               {"PFiles/App/mine.txt", "the user's own"},
                               {"Win/sys.dll", "new dll"},
                               {"foo_ext.reg", "script"},
                               {"notes.txt", "also the user's"},
                           }));
  // The source folder itself stays, emptied.
  EXPECT_TRUE(fs::is_directory(source));
  EXPECT_TRUE(fs::is_empty(source));
}

TEST(TreeMove, CreatesTheMissingResultFolderWithABlankInItsPath) {
  TempDir dir;
  const fs::path source = dir.path() / "SourceDir";
  MakeSourceTree(source);
  const auto before = Files(source);
  const fs::path target = dir.path() / "my pkgs/foo_EXT";
  fs::create_directories(target.parent_path());
  ASSERT_TRUE(MoveFolderContents(source.string(), target.string()));
  EXPECT_EQ(Files(target), before);
  EXPECT_TRUE(fs::is_empty(source));
}

// A source folder on a tmpfs and a target on the disk that holds the build,
// so that a move between them crosses file systems.
class TreeMoveAcrossFileSystems : public ::testing::Test {
 protected:
  void SetUp() override {
    struct stat shm_info {
    }, disk_info{};
    if (stat("/dev/shm", &shm_info) != 0 || stat(FRONT_TEST_DISK_DIR, &disk_info) != 0 ||
        shm_info.st_dev == disk_info.st_dev)
      GTEST_SKIP() << "no second file system at /dev/shm";
    char shm_pattern[] = "/dev/shm/tarvelin-move-XXXXXX";
    ASSERT_NE(mkdtemp(shm_pattern), nullptr);
    shm_dir_ = shm_pattern;
    char disk_pattern[] = FRONT_TEST_DISK_DIR "/move-XXXXXX";
    ASSERT_NE(mkdtemp(disk_pattern), nullptr);
    disk_dir_ = disk_pattern;
    source_ = shm_dir_ / "SourceDir";
    target_ = disk_dir_ / "foo_EXT";
  }
  void TearDown() override {
    std::error_code ignored;
    if (!shm_dir_.empty()) fs::remove_all(shm_dir_, ignored);
    if (!disk_dir_.empty()) fs::remove_all(disk_dir_, ignored);
  }
  fs::path shm_dir_;
  fs::path disk_dir_;
  fs::path source_;
  fs::path target_;
};

TEST_F(TreeMoveAcrossFileSystems, CopiesKeepingTimesAndModes) {
  const fs::path& source = source_;
  const fs::path& target = target_;
  MakeSourceTree(source);
  const auto before = Files(source);
  Put(target / "PFiles/App/app.exe", "old");
  const fs::path timed = source / "PFiles/App/Docs/readme.txt";
  const struct timespec times[2] = {{1487437822, 0}, {1487437822, 0}};  // 2017-02-18
  ASSERT_EQ(utimensat(AT_FDCWD, timed.c_str(), times, 0), 0);
  ASSERT_EQ(chmod(timed.c_str(), 0640), 0);
  ASSERT_EQ(chmod((source / "Win/sys.dll").c_str(), 0755), 0);

  const bool moved = MoveFolderContents(source.string(), target.string());
  const auto after = Files(target);
  struct stat readme {
  }, dll{};
  stat((target / "PFiles/App/Docs/readme.txt").c_str(), &readme);
  stat((target / "Win/sys.dll").c_str(), &dll);
  const bool source_empty = fs::is_empty(source);

  ASSERT_TRUE(moved);
  EXPECT_EQ(after, before);
  EXPECT_EQ(readme.st_mtim.tv_sec, 1487437822);
  EXPECT_EQ(readme.st_mode & 07777, 0640u);
  EXPECT_EQ(dll.st_mode & 07777, 0755u);
  EXPECT_TRUE(source_empty);
}

TEST_F(TreeMoveAcrossFileSystems, AFullDiskLeavesTheSourceWhole) {
  const fs::path& source = source_;
  const fs::path& target = target_;
  Put(source / "big.bin", std::string(1 << 20, 'b'));
  Put(target / "big.bin", "the old one");

  // A file-size limit makes the copy's writes fail as on a full disk.
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto old_handler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 64 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool moved = MoveFolderContents(source.string(), target.string());
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, old_handler);

  const auto left = Files(source);
  const auto there = Files(target);

  EXPECT_FALSE(moved);
  // The source is whole, the old target file untouched, no part file left.
  EXPECT_EQ(left, (std::map<std::string, std::string>{{"big.bin", std::string(1 << 20, 'b')}}));
  EXPECT_EQ(there, (std::map<std::string, std::string>{{"big.bin", "the old one"}}));
}

TEST(TreeMove, AnEntryInTheWayStopsTheMoveAndLosesNothing) {
  struct Case {
    const char* what;
    void (*block)(const fs::path& target);
  };
  const Case cases[] = {
      {"a file where a folder must go",
       [](const fs::path& t) { Put(t / "PFiles", "a file of the user's"); }},
      {"a folder where a file must go",
       [](const fs::path& t) { fs::create_directories(t / "Win/sys.dll/inner"); }},
      {"a file where the result folder must go",
       [](const fs::path& t) { Put(t, "a file of the user's"); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const fs::path source = dir.path() / "SourceDir";
    const fs::path target = dir.path() / "foo_EXT";
    MakeSourceTree(source);
    const auto tree = Files(source);
    c.block(target);
    const auto blocking = Files(target);

    EXPECT_FALSE(MoveFolderContents(source.string(), target.string()));
    // Every file is still there, either moved or left in the source tree,
    // and whatever stood in the way is untouched.
    auto moved = Files(target);
    for (const auto& [path, bytes] : blocking) EXPECT_EQ(moved[path], bytes) << path;
    const auto left = Files(source);
    for (const auto& [path, bytes] : tree) {
      const bool in_target = moved.count(path) == 1 && moved[path] == bytes;
      const bool in_source = left.count(path) == 1 && left.at(path) == bytes;
      EXPECT_TRUE(in_target || in_source) << path;
    }
    if (!fs::is_directory(target)) {
      EXPECT_EQ(ReadFile(target), "a file of the user's");
    }
  }
}

TEST(TreeMove, AResultFolderIsReadyBeforeTheRunOrRefused) {
  TempDir dir;
  const fs::path made = dir.path() / "new_EXT";
  EXPECT_EQ(PrepareResultFolder(made.string()), std::optional<bool>(true));
  EXPECT_TRUE(fs::is_directory(made));
  Put(made / "mine.txt", "the user's own");
  // There already: kept as it is, with no probe file left in it.
  EXPECT_EQ(PrepareResultFolder(made.string()), std::optional<bool>(false));
  EXPECT_EQ(Files(made), (std::map<std::string, std::string>{{"mine.txt", "the user's own"}}));
  EXPECT_EQ(std::distance(fs::directory_iterator(made), fs::directory_iterator()), 1);

  Put(dir.path() / "file_EXT", "a file of the user's");
  EXPECT_EQ(PrepareResultFolder((dir.path() / "file_EXT").string()), std::nullopt);
  EXPECT_EQ(ReadFile(dir.path() / "file_EXT"), "a file of the user's");
  EXPECT_EQ(PrepareResultFolder((dir.path() / "missing/foo_EXT").string()), std::nullopt);
  EXPECT_FALSE(fs::exists(dir.path() / "missing"));
  if (getuid() != 0) {
    // Folders the user cannot write (root writes everywhere).
    const fs::path locked = dir.path() / "locked";
    fs::create_directories(locked / "old_EXT");
    ASSERT_EQ(chmod((locked / "old_EXT").c_str(), 0555), 0);
    ASSERT_EQ(chmod(locked.c_str(), 0555), 0);
    EXPECT_EQ(PrepareResultFolder((locked / "new_EXT").string()), std::nullopt);
    EXPECT_EQ(PrepareResultFolder((locked / "old_EXT").string()), std::nullopt);
    chmod(locked.c_str(), 0755);
    chmod((locked / "old_EXT").c_str(), 0755);
  }
}

}  // namespace
}  // namespace tarvelin
