// Single-file operations of the staging area and the run, on the host's own
// files. Paths are UTF-8 texts; on Windows "\" or "/" separates folders.
#pragma once

#include <string>
#include <string_view>

#include "files/handle.h"

namespace tarvelin {

// True when something that is not a folder stands at `path` (a regular file,
// a symbolic link or other reparse point, not followed...); the test the
// clean-up makes before deleting.
bool NonFolderExists(const std::string& path);

// True when a real folder stands at `path` (not a link to one).
bool IsFolder(const std::string& path);

// True when `path` names a regular file that can be opened for reading.
bool ReadableFile(const std::string& path);

// True when `path` is absolute: it begins at a root ("/"; on Windows a
// drive's "X:\" or a share's "\\"), so that it cannot be read as an option
// or against another folder.
bool IsFullPath(const std::string& path);

// True when `path` is `folder` or lies below it, links resolved on both
// sides (on Windows, case ignored). A path that cannot be resolved counts as
// inside: the caller refuses it.
bool IsInside(const std::string& path, const std::string& folder);

// Deletes what NonFolderExists reports. True when nothing stands there afterwards.
bool RemoveFile(const std::string& path);

// Makes the folder `path` (one level) for the user alone; true when it
// stands there afterwards as a real folder.
bool MakePrivateFolder(const std::string& path);

// Removes the folder `path` when it is empty; anything else is left alone.
void RemoveEmptyFolder(const std::string& path);

// Creates `path` as a new file for writing, exclusively and never through a
// link; invalid when it cannot.
files::UniqueHandle CreateNewFile(const std::string& path);

// Writes `bytes` as a new file `path` with the permission bits `mode`
// (whatever the umask; Windows has none and takes the folder's), deleting an
// earlier file of that name first. False on any failure; a file written only
// in part is deleted again.
bool WriteNewFile(const std::string& path, std::string_view bytes, unsigned mode);

}  // namespace tarvelin
