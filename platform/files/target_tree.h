// The one place where extraction turns a path below its target folder into
// a folder or a file. Every call works relative to the target folder's
// descriptor, or to a folder opened through it, and none follows a symbolic
// link below the target folder: a link where a folder should be is told
// apart from a folder, and one where a file should be is never opened (a new
// file is created exclusively; a rename over a link replaces the link). The
// target folder itself may be a link: the user named it.
//
// Paths below the target folder are relative, with "/" between levels; a
// level "." is the folder it stands in, and an empty level is skipped.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "files/files.h"
#include "files/unique_fd.h"

namespace files {

// Why `folder` cannot take new files (an errno), or 0 when it can.
int FolderProblem(const std::string& folder);

class TargetTree {
 public:
  // Opens `folder` (absolute); valid() is false, with error() set, when it
  // cannot be opened as a folder.
  explicit TargetTree(const std::string& folder);
  bool valid() const { return top_.valid(); }
  int error() const { return error_; }
  // The target folder's descriptor.
  int top() const { return top_.get(); }

  // The folder at `relative` ("" for the target folder), opened through
  // folders alone; invalid (errno ELOOP for a link on the way) when it
  // cannot be.
  UniqueFd OpenFolder(std::string_view relative) const;

  // What stands at one level once MakeFolder has looked.
  enum class Level { kMade, kStood, kLink, kBlocked };
  // Makes the folder `name` (one level, no "/") in the open folder
  // `folder`, unless one stands there already.
  static Level MakeFolder(int folder, std::string_view name);
  // The folder `name` in the open folder `folder`, not through a link.
  static UniqueFd OpenChild(int folder, std::string_view name);

 private:
  UniqueFd top_;
  int error_ = 0;
};

// File work in an open folder, by name (one level). None follows a link.
UniqueFd CreateNewFile(int folder, std::string_view name, int* error);
bool IsFolderAt(int folder, std::string_view name);
bool RenameAt(int folder, std::string_view from, std::string_view to);
// Gives the file `from` in `from_folder` a second name `to` in `to_folder`.
bool LinkAt(int from_folder, std::string_view from, int to_folder, std::string_view to);
void RemoveAt(int folder, std::string_view name);
// Creates a new file named ".pandrel-<process>-<number>" in `folder`;
// invalid (errno EEXIST when the name is taken) when it cannot.
UniqueFd CreateTemporaryFile(int folder, unsigned number, std::string* name);
// Moves an open file back to its start.
bool Rewind(int fd);
// Sets the file's last-write time, leaving its last-access time alone.
bool SetLastWriteTime(int fd, time_t written);

}  // namespace files
