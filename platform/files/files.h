// The file-system functions the tool needs from its host, on POSIX.
#pragma once

#include <string>

namespace files {

// The absolute form of `path`, made against the current folder; "." and ".."
// are resolved as text, symbolic links are left alone. A trailing "/" is
// kept. Empty when the current folder cannot be read.
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
