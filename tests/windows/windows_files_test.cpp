// The file functions by Windows' rules: names, case, full paths and drive
// roots, paths past 260 characters, and reparse points below the target
// folder (a directory symbolic link and a junction) that are never gone
// through.
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "catalogue/safe_names.h"
#include "files/files.h"
#include "files/host_names.h"
#include "files/target_tree.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using Level = files::TargetTree::Level;

TEST(WindowsNames, WhatLeadsElsewhereAndWhatCannotBeHeld) {
  const struct {
    const char* name;
    bool safe;      // may be used in a folder at all
    bool holdable;  // and Windows can hold it
  } cases[] = {
      {"readme.txt", true, true},
      {"a\\b", false, true},
      {"a/b", false, true},
      {"..", false, true},
      {"c:evil", false, true},
      {"file:stream", false, true},
      {"CON", true, false},
      {"con.txt", true, false},
      {"Nul", true, false},
      {"COM1.log", true, false},
      {"lpt9", true, false},
      {"COM0", true, true},
      {"CONSOLE", true, true},
      {"AUX .txt", true, false},
      {"notes.", true, false},
      {"notes ", true, false},
      {"a<b", true, false},
      {"a|b", true, false},
      {"a?", true, false},
      {"a*", true, false},
      {"say \"hi\"", true, false},
      {"tab\there", true, false},
      {"\xE8\xAF\xB4\xE6\x98\x8E", true, true},
      {".hidden", true, true},
      {"a.b.c", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsSafeLongName(c.name), c.safe);
    if (c.safe) {
      EXPECT_EQ(!files::CannotHold(c.name), c.holdable);
    }
  }
  EXPECT_FALSE(IsSafeRelativePath("\\\\server\\share\\x.cab"));
  EXPECT_FALSE(IsSafeRelativePath("D:\\x.cab"));
  EXPECT_TRUE(IsSafeRelativePath("disk1\\data1.cab"));
}

TEST(WindowsNames, CaseIsIgnoredBeyondAscii) {
  EXPECT_TRUE(files::NamesIgnoreCase());
  EXPECT_EQ(files::FoldCase("taglib-sharp.dll"), files::FoldCase("TAGLIB-SHARP.DLL"));
  EXPECT_EQ(files::FoldCase("\xC3\xA9t\xC3\xA9"), files::FoldCase("\xC3\x89T\xC3\x89"));  // été
  EXPECT_NE(files::FoldCase("a.txt"), files::FoldCase("b.txt"));
}

TEST(WindowsPaths, FullPathsAndTheFolderWalkStopsAtRoots) {
  EXPECT_EQ(files::FullPathName("C:/a/./b/../c.msi"), "C:\\a\\c.msi");
  EXPECT_EQ(files::FullPathName("C:\\out\\"), "C:\\out\\");
  EXPECT_EQ(files::FullPathName("\\\\server\\share\\x.msi"), "\\\\server\\share\\x.msi");
  const std::string relative = files::FullPathName("pkg\\setup.msi");
  EXPECT_EQ(relative, fs::current_path().string() + "\\pkg\\setup.msi");
  EXPECT_EQ(files::FolderPart("C:\\a\\b.msi"), "C:\\a\\");
  EXPECT_EQ(files::FolderPart("C:b.msi"), "C:");
  EXPECT_TRUE(files::MakeFolderChain("C:\\"));
  EXPECT_TRUE(files::MakeFolderChain("C:"));

  test_support::TempDir dir;
  const std::string deep = dir.path().string() + "\\new/deep\\folder\\";
  EXPECT_TRUE(files::MakeFolderChain(deep));
  EXPECT_TRUE(files::FolderExists(dir.path().string() + "/new/deep/folder"));
}

TEST(WindowsPaths, PathsPastTheOldLimitWork) {
  test_support::TempDir dir;
  files::TargetTree tree(dir.path().string());
  ASSERT_TRUE(tree.valid());
  std::string relative;
  for (int level = 0; level < 24; ++level) {
    const std::string name = "folder " + std::to_string(level) + std::string(50, 'x');
    files::Folder at = tree.OpenFolder(relative);
    ASSERT_TRUE(at.valid()) << relative.size();
    EXPECT_EQ(files::TargetTree::MakeFolder(at, name), Level::kMade);
    relative += name + "\\";
  }
  ASSERT_GT(dir.path().string().size() + relative.size(), 1000u);
  files::Folder bottom = tree.OpenFolder(relative);
  ASSERT_TRUE(bottom.valid());
  files::UniqueHandle file = files::CreateNewFile(bottom, "deep.txt", nullptr);
  ASSERT_TRUE(file.valid());
  EXPECT_TRUE(files::WriteAll(file.get(), "bottom"));
  EXPECT_TRUE(files::SetLastWriteTime(file.get(), 1487438302));
  EXPECT_TRUE(file.Close());
  const std::string full = dir.path().string() + "\\" + relative + "deep.txt";
  std::optional<files::ReadableFile> read = files::OpenRegularFile(full);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->size, 6u);
  EXPECT_EQ(read->modified, 1487438302);
}

// A junction, as Windows makes one: a mount-point reparse point on an
// empty folder. False where the file system cannot hold one.
bool MakeJunction(const fs::path& at, const fs::path& target) {
  if (!CreateDirectoryW(at.wstring().c_str(), nullptr)) return false;
  HANDLE folder = CreateFileW(at.wstring().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  const std::wstring substitute = L"\\??\\" + target.wstring();
  const std::wstring print = target.wstring();
  std::string buffer(16 + (substitute.size() + print.size() + 2) * 2 + 8, '\0');
  auto* words = reinterpret_cast<unsigned short*>(buffer.data());
  auto* tag = reinterpret_cast<unsigned long*>(buffer.data());
  tag[0] = IO_REPARSE_TAG_MOUNT_POINT;
  const auto bytes = [](const std::wstring& text) {
    return static_cast<unsigned short>(text.size() * 2);
  };
  words[2] = static_cast<unsigned short>(buffer.size() - 8);  // data length
  words[4] = 0;
  words[5] = bytes(substitute);
  words[6] = static_cast<unsigned short>(bytes(substitute) + 2);
  words[7] = bytes(print);
  std::memcpy(buffer.data() + 16, substitute.c_str(), substitute.size() * 2);
  std::memcpy(buffer.data() + 16 + substitute.size() * 2 + 2, print.c_str(), print.size() * 2);
  DWORD returned = 0;
  const bool made =
      DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, buffer.data(),
                      static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr) != 0;
  CloseHandle(folder);
  return made;
}

TEST(WindowsTargetTree, ReparsePointsBelowTheTargetAreNeverGoneThrough) {
  test_support::TempDir dir;
  const fs::path top = dir.path() / "top";
  const fs::path elsewhere = dir.path() / "elsewhere";
  fs::create_directories(top);
  fs::create_directories(elsewhere / "inside");
  std::error_code error;
  fs::create_directory_symlink(elsewhere, top / "link", error);
  const bool have_link = !error;
  const bool have_junction = MakeJunction(top / "junction", elsewhere);
  if (!have_link && !have_junction) GTEST_SKIP() << "neither a symbolic link nor a junction";

  files::TargetTree tree(top.string());
  ASSERT_TRUE(tree.valid());
  for (const char* name : {"link", "junction"}) {
    if ((name[0] == 'l' && !have_link) || (name[0] == 'j' && !have_junction)) continue;
    SCOPED_TRACE(name);
    EXPECT_EQ(files::TargetTree::MakeFolder(tree.top(), name), Level::kLink);
    EXPECT_FALSE(files::TargetTree::OpenChild(tree.top(), name).valid());
    EXPECT_FALSE(tree.OpenFolder(std::string(name) + "\\inside").valid());
    EXPECT_FALSE(files::IsFolderAt(tree.top(), name));
    EXPECT_FALSE(files::CreateNewFile(tree.top(), name, nullptr).valid());
  }
  EXPECT_TRUE(fs::is_empty(elsewhere / "inside"));
  if (!have_junction) std::printf("note: this file system made no junction\n");

  // The target folder itself may be a link: the user named it.
  if (have_link) {
    files::TargetTree named((top / "link").string());
    ASSERT_TRUE(named.valid());
    EXPECT_EQ(files::TargetTree::MakeFolder(named.top(), "made"), Level::kMade);
    EXPECT_TRUE(fs::is_directory(elsewhere / "made"));
  }
}

TEST(WindowsTargetTree, NewFilesAreExclusiveAndReplacementIsWhole) {
  test_support::TempDir dir;
  files::TargetTree tree(dir.path().string());
  ASSERT_TRUE(tree.valid());
  test_support::WriteFile(dir.path() / "Place.txt", "old");
  files::Reason why;
  // Names that differ only in case are one file.
  EXPECT_FALSE(files::CreateNewFile(tree.top(), "place.TXT", &why).valid());
  EXPECT_EQ(why.kind, files::Reason::Kind::kExists);
  std::string temporary;
  files::UniqueHandle file = files::CreateTemporaryFile(tree.top(), 1, &temporary, &why);
  ASSERT_TRUE(file.valid());
  EXPECT_TRUE(files::WriteAll(file.get(), "new"));
  EXPECT_TRUE(file.Close());
  EXPECT_TRUE(files::RenameAt(tree.top(), temporary, "place.txt"));
  EXPECT_EQ(test_support::ReadFile(dir.path() / "Place.txt"), "new");
  EXPECT_FALSE(fs::exists(dir.path() / temporary));
}

}  // namespace
