// Single-file operations of the staging area.
#pragma once

#include <string>
#include <string_view>

namespace tarvelin {

// True when something that is not a folder stands at `path` (a regular file,
// a symbolic link, not followed...); the test the clean-up makes before
// deleting.
bool NonFolderExists(const std::string& path);

// Copies everything that remains to be read from `in` to `out`.
bool CopyAll(int in, int out);

// Deletes what NonFolderExists reports. True when nothing stands there afterwards.
bool DeleteFile(const std::string& path);

// Writes `bytes` as a new file `path` with the permission bits `mode`
// (whatever the umask), deleting an earlier file of that name first. False on
// any failure; a file written only in part is deleted again.
bool WriteNewFile(const std::string& path, std::string_view bytes, unsigned mode);

}  // namespace tarvelin
