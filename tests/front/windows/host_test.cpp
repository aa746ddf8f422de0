// The window's host calls on Windows, and whole runs with the tool of this
// build: staging folders and their locks, the move across drives, hidden
// children, the batch file with paths that cmd.exe would otherwise read,
// and a run from the drop to the filed results.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "files/files.h"
#include "files/windows/wide_text.h"
#include "fixtures/package_writer.h"
#include "fixtures/sample_package.h"
#include "host/child_process.h"
#include "host/file_ops.h"
#include "host/install_script_run.h"
#include "host/staging_folder.h"
#include "host/tree_move.h"
#include "host/windows/folder_entries.h"
#include "run/extraction_run.h"
#include "run/run_texts.h"
#include "run/staging_paths.h"
#include "support/sha256.h"
#include "support/test_support.h"

namespace tarvelin {
namespace {

// A folder of this test's own, by its UTF-8 path ending in "\".
class Folder {
 public:
  Folder() : path_(files::Narrow(dir_.path().wstring()) + "\\") {}
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  test_support::TempDir dir_;
  std::string path_;
};

void Put(const std::string& path, const std::string& bytes) {
  ASSERT_TRUE(files::MakeFolderChain(path.substr(0, path.find_last_of('\\'))));
  ASSERT_TRUE(WriteNewFile(path, bytes, 0600)) << path;
}

std::string Read(const std::string& path) {
  std::optional<files::ReadableFile> file = files::OpenRegularFile(path);
  if (!file) return "<missing>";
  std::string bytes;
  char buffer[1 << 14];
  for (long long got; (got = files::ReadSome(file->handle.get(), buffer, sizeof buffer)) > 0;)
    bytes.append(buffer, static_cast<std::size_t>(got));
  return bytes;
}

// Every file below `folder`: relative path, size, sha256 and last-write
// time, one line each, sorted.
std::string Listing(const std::string& folder) {
  std::vector<std::string> lines;
  std::vector<std::string> pending = {""};
  while (!pending.empty()) {
    const std::string relative = pending.back();
    pending.pop_back();
    const auto entries = ListFolder(files::LongPath(folder + relative));
    if (!entries) continue;
    for (const FolderEntry& entry : *entries) {
      const std::string name = relative + files::Narrow(entry.name);
      if (entry.IsFolder()) {
        pending.push_back(name + "\\");
        continue;
      }
      const std::optional<files::ReadableFile> file = files::OpenRegularFile(folder + name);
      const std::string bytes = Read(folder + name);
      lines.push_back(name + "\t" + std::to_string(bytes.size()) + "\t" +
                      test_support::Sha256Hex(bytes) + "\t" +
                      std::to_string(file ? file->modified : -1) + "\n");
    }
  }
  std::sort(lines.begin(), lines.end());
  std::string listing;
  for (const std::string& line : lines) listing += line;
  return listing;
}

// Runs `program` to its end with its standard output in `output`; its exit
// code.
std::optional<int> RunToEnd(const std::string& program, std::vector<std::string> arguments,
                            const std::string& output = "") {
  std::optional<ChildProcess> child =
      ChildProcess::Start({program, std::move(arguments), "", output});
  if (!child) return std::nullopt;
  child->WaitFor(-1);
  return child->ExitCode();
}

std::string Tool() { return files::FullPathName(PANDREL_EXE); }

std::string Cmd() {
  wchar_t system[MAX_PATH];
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  return files::Narrow(std::wstring_view(system, length)) + "\\cmd.exe";
}

// The sample package at `path`, with its cabinet beside it as sample.cab.
void WriteSampleWithCabinetBeside(const std::string& path) {
  fixtures::PackageDescription package = fixtures::SamplePackage();
  package.streams.clear();
  for (fixtures::Table& table : package.tables) {
    if (table.name == "Media") table.rows[0][3] = fixtures::Str("sample.cab");
  }
  Put(path, fixtures::WritePackage(package));
  Put(path.substr(0, path.find_last_of('\\') + 1) + "sample.cab", fixtures::SampleCabinet());
}

// Stages below `folder` while it lives: the runs' temporary folder is the
// one TMP names.
class TemporaryFolderOf {
 public:
  explicit TemporaryFolderOf(const std::string& folder) {
    wchar_t old[MAX_PATH + 1];
    const DWORD length = GetEnvironmentVariableW(L"TMP", old, MAX_PATH + 1);
    if (length > 0 && length <= MAX_PATH) old_ = std::wstring(old, length);
    SetEnvironmentVariableW(L"TMP", files::Widen(folder).c_str());
  }
  ~TemporaryFolderOf() { SetEnvironmentVariableW(L"TMP", old_ ? old_->c_str() : nullptr); }
  TemporaryFolderOf(const TemporaryFolderOf&) = delete;
  TemporaryFolderOf& operator=(const TemporaryFolderOf&) = delete;

 private:
  std::optional<std::wstring> old_;
};

std::vector<std::string> RunsIn(const std::string& staging) {
  std::vector<std::string> runs;
  if (const auto entries = ListFolder(files::LongPath(staging))) {
    for (const FolderEntry& entry : *entries) runs.push_back(files::Narrow(entry.name));
  }
  return runs;
}

TEST(WindowsHost, FullPathsAndPlacesInsideAFolder) {
  for (const char* full : {"C:\\a.msi", "z:/pkgs/a.msi", "\\\\server\\share\\a.msi"})
    EXPECT_TRUE(IsFullPath(full)) << full;
  for (const char* relative : {"a.msi", "C:a.msi", "\\a.msi", "-x", ""})
    EXPECT_FALSE(IsFullPath(relative)) << relative;

  Folder dir;
  Put(dir / "stage\\run-1\\a.msi", "x");
  Put(dir / "stage2\\b.msi", "x");
  EXPECT_TRUE(IsInside(dir / "stage\\run-1\\a.msi", dir / "stage\\"));
  EXPECT_TRUE(IsInside(dir / "STAGE\\RUN-1\\A.MSI", dir / "stage"));  // case ignored
  EXPECT_FALSE(IsInside(dir / "stage2\\b.msi", dir / "stage"));       // a longer name
  EXPECT_TRUE(IsInside(dir / "gone.msi", dir / "stage"));             // unresolvable: refused
}

TEST(WindowsHost, RunsLockTheirFoldersAndOnlyFinishedOnesAreRemoved) {
  Folder dir;
  const TemporaryFolderOf temp(dir.path());
  const std::string system_temp = SystemTempFolder();
  EXPECT_EQ(files::FullPathName(system_temp + "\\"), dir.path());
  const std::optional<std::string> staging = PrepareStagingFolder(system_temp);
  ASSERT_TRUE(staging.has_value());
  EXPECT_EQ(*staging, dir / "tarvelin\\");

  std::optional<RunFolder> first = RunFolder::Create(*staging);
  std::optional<RunFolder> second = RunFolder::Create(*staging);
  ASSERT_TRUE(first && second);
  EXPECT_NE(first->path(), second->path());
  Put(first->path() + "out\\SourceDir\\a.txt", "the first run's");
  // A run whose program was killed: a deep tree, a read-only file.
  std::string deep = *staging + "run-killed";
  for (int level = 0; level < 200; ++level) deep += "\\d";
  Put(deep + "\\stale.txt", "stale");
  Put(*staging + "run-killed\\ro.txt", "read-only");
  SetFileAttributesW(files::LongPath(*staging + "run-killed\\ro.txt").c_str(),
                     FILE_ATTRIBUTE_READONLY);
  Put(*staging + "other.txt", "not a run");

  EXPECT_EQ(RemoveFinishedRuns(*staging), 1);
  std::vector<std::string> left = RunsIn(*staging);
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left.size(), 3u);
  EXPECT_EQ(std::count(left.begin(), left.end(), "run-killed"), 0);
  EXPECT_EQ(Read(first->path() + "out\\SourceDir\\a.txt"), "the first run's");

  first->Remove();
  second->Remove();
  EXPECT_EQ(RunsIn(*staging), std::vector<std::string>({"other.txt"}));
}

TEST(WindowsHost, MoveMergesReplacesAndStopsAtAFileWhereAFolderGoes) {
  Folder dir;
  Put(dir / "src\\PFiles\\App\\new.txt", "new");
  Put(dir / "src\\PFiles\\App\\same.txt", "from the package");
  Put(dir / "src\\top.txt", "top");
  Put(dir / "dst\\PFiles\\App\\same.txt", "the user's old copy");
  Put(dir / "dst\\PFiles\\App\\mine.txt", "the user's own");
  ASSERT_TRUE(MoveFolderContents(dir / "src", dir / "dst"));
  EXPECT_EQ(Read(dir / "dst\\PFiles\\App\\new.txt"), "new");
  EXPECT_EQ(Read(dir / "dst\\PFiles\\App\\same.txt"), "from the package");
  EXPECT_EQ(Read(dir / "dst\\PFiles\\App\\mine.txt"), "the user's own");
  EXPECT_EQ(Read(dir / "dst\\top.txt"), "top");
  EXPECT_EQ(Listing(dir / "src\\"), "");

  Put(dir / "src2\\PFiles\\a.txt", "a");
  Put(dir / "dst2\\PFiles", "a file of the user's");
  EXPECT_FALSE(MoveFolderContents(dir / "src2", dir / "dst2"));
  EXPECT_EQ(Read(dir / "dst2\\PFiles"), "a file of the user's");
  EXPECT_EQ(Read(dir / "src2\\PFiles\\a.txt"), "a");

  EXPECT_EQ(PrepareResultFolder(dir / "fresh_EXT"), std::optional<bool>(true));
  EXPECT_EQ(PrepareResultFolder(dir / "fresh_EXT"), std::optional<bool>(false));
  EXPECT_EQ(PrepareResultFolder(dir / "dst2\\PFiles"), std::nullopt);
  EXPECT_EQ(Listing(dir / "fresh_EXT\\"), "");
}

TEST(WindowsHost, MoveAcrossDrivesCopiesWholeKeepsTimesAndThenDeletes) {
  // Under wine Z: is the host's root: /dev/shm is a tmpfs there, while the
  // temporary folder lies on the prefix's disk.
  const std::string shm = "Z:\\dev\\shm";
  // (wine shows a mount point as a reparse point: not a plain folder.)
  const DWORD attributes = GetFileAttributesW(files::LongPath(shm).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    GTEST_SKIP() << "no second file system at " << shm;
  test_support::TempDir dev_shm_dir;  // only for a unique name
  const std::string source =
      shm + "\\" + files::Narrow(dev_shm_dir.path().filename().wstring()) + "-src";
  Folder dir;
  Put(source + "\\SourceDir\\PFiles\\App\\readme.txt", std::string(300000, 'r'));
  Put(source + "\\SourceDir\\top.txt", "top");
  const std::string before = Listing(source + "\\SourceDir\\");
  const bool moved = MoveFolderContents(source + "\\SourceDir", dir / "app_EXT");
  const std::string after = Listing(dir / "app_EXT\\");
  const std::string left = Listing(source + "\\");
  RemoveTree(files::LongPath(source), true);
  ASSERT_TRUE(moved);
  EXPECT_EQ(after, before);
  EXPECT_EQ(left, "");
}

TEST(WindowsHost, HiddenChildrenGiveTheirExitCodesOutputAndEnvironment) {
  Folder dir;
  EXPECT_EQ(RunToEnd(Cmd(), {"/d", "/c", "exit 3"}), std::optional<int>(3));
  // The window's own environment goes to the child.
  SetEnvironmentVariableW(L"TARVELIN_SEEN", L"seen 100%");
  EXPECT_EQ(RunToEnd(Cmd(), {"/d", "/c", "echo %TARVELIN_SEEN%"}, dir / "out.txt"),
            std::optional<int>(0));
  EXPECT_EQ(Read(dir / "out.txt"), "seen 100%\r\n");
  SetEnvironmentVariableW(L"TARVELIN_SEEN", nullptr);
  EXPECT_FALSE(ChildProcess::Start({dir / "no such tool.exe", {}, "", ""}));
}

TEST(WindowsHost, BatchFileHandsAwkwardPathsOverUnchanged) {
  // The run's folder and the package's path both hold what cmd.exe would
  // read as its own; a read-only package is staged too.
  for (const std::string folder_name :
       {"plain", "with blank", "我的 100% & ^!", "a%PATH%b %1", "(paren) ;semi,comma=eq"}) {
    SCOPED_TRACE(folder_name);
    Folder dir;
    const StagingPaths staging(dir / folder_name + "\\");
    const std::string package = dir / "包 100% & ^!\\我的 100% & ^.msi";
    Put(package, fixtures::WritePackage(fixtures::SamplePackage()));
    Put(staging.Tool(), Read(Tool()));
    if (folder_name == "plain")
      SetFileAttributesW(files::LongPath(package).c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_EQ(RunToEnd(Tool(), {"r", package}, dir / "direct.reg"), std::optional<int>(0));
    const std::optional<InstallScript> script = MakeInstallScript(staging, package);
    ASSERT_TRUE(script.has_value());
    Put(staging.Script(), script->text);
    std::optional<ChildProcess> child = ChildProcess::Start(script->child);
    ASSERT_TRUE(child.has_value());
    child->WaitFor(-1);
    EXPECT_EQ(child->ExitCode(), std::optional<int>(0));
    EXPECT_EQ(Read(staging.RegOutput()), Read(dir / "direct.reg"));
    EXPECT_NE(Read(staging.RegOutput()).find("[HKEY_"), std::string::npos);
    EXPECT_TRUE(RemoveFile(staging.Package()));
    EXPECT_EQ(Read(package).substr(0, 4), "\xD0\xCF\x11\xE0");
    EXPECT_EQ(GetFileAttributesW(files::LongPath(package).c_str()) & FILE_ATTRIBUTE_READONLY,
              folder_name == "plain" ? DWORD{FILE_ATTRIBUTE_READONLY} : DWORD{0});
    SetFileAttributesW(files::LongPath(package).c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

// Answers every box at once and waits for each child to its end.
class QuietWindow : public RunWindow {
 public:
  explicit QuietWindow(std::string dropped) : dropped_(std::move(dropped)) {}
  void SetStatus(const std::string& text) override { status = text; }
  std::string Intake() override { return dropped_; }
  void Confirm(const std::string& text) override { boxes.push_back(text); }
  void ShowError(const std::string& details) override {
    boxes.push_back(kErrorText);
    errors.push_back(details);
  }
  std::optional<int> AwaitEnd(ChildProcess& child) override {
    child.WaitFor(-1);
    return child.ExitCode();
  }
  std::string status;
  std::vector<std::string> boxes;
  std::vector<std::string> errors;

 private:
  std::string dropped_;
};

TEST(WindowsHost, WholeRunFilesTheTreeAndTheScriptBesideThePackage) {
  Folder dir;
  const TemporaryFolderOf temp(dir / "temp");
  ASSERT_TRUE(MakePrivateFolder(dir / "temp"));
  const std::string tool = Read(Tool());
  const std::string folder = dir / "我的 100% & ^ 包";
  const std::string package = folder + "\\我的 100% & ^.msi";
  WriteSampleWithCabinetBeside(package);
  ASSERT_EQ(RunToEnd(Tool(), {"x", package, "*.*", dir / "expected\\"}), std::optional<int>(0));
  ASSERT_EQ(RunToEnd(Tool(), {"r", package}, dir / "expected.reg"), std::optional<int>(0));
  const std::string expected_tree = Listing(dir / "expected\\SourceDir\\");
  ASSERT_NE(expected_tree, "");

  QuietWindow window(package);
  EXPECT_EQ(RunExtraction(window, tool), RunOutcome::kSucceeded);
  EXPECT_EQ(window.status, LoadingText());
  EXPECT_EQ(window.boxes,
            std::vector<std::string>({ExtractionConfirmation("我的 100% & ^.msi", "我的 100% & ^"),
                                      RegistryConfirmation("我的 100% & ^.msi", "我的 100% & ^")}));
  const std::string result = folder + "\\我的 100% & ^_EXT\\";
  const std::string script = Read(result + "我的 100% & ^_ext.reg");
  std::string expected_script = Read(dir / "expected.reg");
  for (int line = 0; line < 4; ++line) expected_script.erase(0, expected_script.find('\n') + 1);
  EXPECT_EQ(script, expected_script + ";Tarvelin Ver0.5\r\n;" + Credit() + "\r\n");
  RemoveFile(result + "我的 100% & ^_ext.reg");
  EXPECT_EQ(Listing(result), expected_tree);
  EXPECT_EQ(RunsIn(dir / "temp\\tarvelin\\"), std::vector<std::string>());

  // A damaged package: "错误！", no result folder, nothing left in staging.
  Put(folder + "\\bad.msi", "not a package");
  QuietWindow failing(folder + "\\bad.msi");
  EXPECT_EQ(RunExtraction(failing, tool), RunOutcome::kFailed);
  EXPECT_EQ(failing.boxes.back(), kErrorText);
  EXPECT_FALSE(IsFolder(folder + "\\bad_EXT"));
  EXPECT_EQ(RunsIn(dir / "temp\\tarvelin\\"), std::vector<std::string>());
}

}  // namespace
}  // namespace tarvelin
