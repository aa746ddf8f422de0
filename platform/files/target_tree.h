// The one place where extraction turns a path below its target folder into
// a folder or a file. Every call works relative to the target folder, or to
// a folder opened through it, and none follows a link below the target
// folder (a symbolic link on POSIX; any reparse point, junctions and mount
// points among them, on Windows): a link where a folder should be is told
// apart from a folder, and one where a file should be is never opened (a
// new file is created exclusively; a rename over a link replaces the link).
// The target folder itself may be a link: the user named it.
//
// Paths below the target folder are relative, with separators between
// levels; a level "." is the folder it stands in, and an empty level is
// skipped.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "files/files.h"
#include "files/handle.h"

namespace files {

// Why `folder` cannot take new files, or none when it can.
Reason FolderProblem(const std::string& folder);

// An open folder. On Windows it keeps its own full path (long-path form)
// beside the handle, since the host's calls take paths; POSIX needs none.
class Folder {
 public:
  Folder() = default;
  Folder(UniqueHandle handle, std::wstring path)
      : handle_(std::move(handle)), path_(std::move(path)) {}
  bool valid() const { return handle_.valid(); }
  explicit operator bool() const { return valid(); }
  Handle handle() const { return handle_.get(); }
  const std::wstring& path() const { return path_; }

 private:
  UniqueHandle handle_;
  std::wstring path_;
};

class TargetTree {
 public:
  // Opens `folder` (absolute); valid() is false, with error() set, when it
  // cannot be opened as a folder.
  explicit TargetTree(const std::string& folder);
  bool valid() const { return top_.valid(); }
  Reason error() const { return error_; }
  // The target folder.
  const Folder& top() const { return top_; }

  // The folder at `relative` ("" for the target folder), opened through
  // folders alone; invalid when it cannot be (a link on the way among the
  // reasons).
  Folder OpenFolder(std::string_view relative) const;

  // What stands at one level once MakeFolder has looked.
  enum class Level { kMade, kStood, kLink, kBlocked };
  // Makes the folder `name` (one level, no separator) in the open folder
  // `folder`, unless one stands there already.
  static Level MakeFolder(const Folder& folder, std::string_view name);
  // The folder `name` in the open folder `folder`, not through a link.
  static Folder OpenChild(const Folder& folder, std::string_view name);

 private:
  Folder top_;
  Reason error_;
};

// File work in an open folder, by name (one level). None follows a link.
UniqueHandle CreateNewFile(const Folder& folder, std::string_view name, Reason* why);
bool IsFolderAt(const Folder& folder, std::string_view name);
bool RenameAt(const Folder& folder, std::string_view from, std::string_view to);
// Gives the file `from` in `from_folder` a second name `to` in `to_folder`.
bool LinkAt(const Folder& from_folder, std::string_view from, const Folder& to_folder,
            std::string_view to);
void RemoveAt(const Folder& folder, std::string_view name);
// Creates a new file named ".pandrel-<process>-<number>" in `folder`;
// invalid (kExists when the name is taken) when it cannot.
UniqueHandle CreateTemporaryFile(const Folder& folder, unsigned number, std::string* name,
                                 Reason* why);
// Moves an open file back to its start.
bool Rewind(Handle file);
// Sets the file's last-write time, leaving its last-access time alone.
bool SetLastWriteTime(Handle file, time_t written);

}  // namespace files
