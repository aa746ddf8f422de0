// The file-system functions the tool needs from its host, on POSIX.
#pragma once

#include <optional>
#include <string>

namespace files {

// The absolute form of `path`, made against the current folder; "." and ".."
// are resolved as text, symbolic links are left alone. A trailing "/" is
// kept. Empty when the current folder cannot be read (it has been removed,
// for instance) and `path` is relative.
std::string FullPathName(const std::string& path);

bool FolderExists(const std::string& path);
// True for anything that is not a folder (a regular file, a device...).
bool FileExists(const std::string& path);

// Creates one folder level. True when it was created.
bool CreateFolder(const std::string& path);

// Makes the folder `path` exist, creating every missing level from the top
// down. A level that cannot be created stops the levels below it. Stops at
// the root "/" and at an empty text. True when the folder exists afterwards.
bool MakeFolderChain(const std::string& path);

// The text up to and including the last "/", or empty when there is none.
std::string FolderPart(const std::string& path);

}  // namespace files

namespace files {

// Creates or truncates a file for writing and returns its descriptor, or -1.
// A symbolic link standing at `path` is replaced, never followed.
int CreateFileForWriting(const std::string& path);

// The path of the file `name` in `folder` (ending in "/"): the exact name
// when it exists, else the first name in byte order that equals it when the
// letters A to Z are taken in either case. Nothing when there is none.
std::optional<std::string> FindFileIgnoringCase(const std::string& folder, const std::string& name);

}  // namespace files
