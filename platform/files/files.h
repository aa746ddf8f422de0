// The file-system functions the tool needs from its host. One set of
// declarations; posix/ and windows/ beside this file each implement them,
// and the build picks one. Paths are UTF-8 texts; on Windows either "\" or
// "/" separates folders in what is given, and "\" in what comes back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "files/handle.h"
#include "files/host_names.h"

namespace files {

// The absolute form of `path`, made against the current folder (and, on
// Windows, the current drive); "." and ".." are resolved as text, symbolic
// links are left alone. A trailing separator is kept. Empty when the
// current folder cannot be read (it has been removed, for instance) and
// `path` is relative.
std::string FullPathName(const std::string& path);

// Writes all `count` bytes, going on after short writes and interruptions.
// False with `*why` set (kNoRoom for a write that took nothing) when a
// write fails.
bool WriteAll(Handle handle, const void* bytes, std::size_t count, Reason* why);
inline bool WriteAll(Handle handle, std::string_view bytes) {
  Reason why;
  return WriteAll(handle, bytes.data(), bytes.size(), &why);
}

bool FolderExists(const std::string& path);
// True for anything that is not a folder (a regular file, a device...).
bool FileExists(const std::string& path);

// Creates one folder level. True when it was created.
bool CreateFolder(const std::string& path);

// Makes the folder `path` exist, creating every missing level from the top
// down. A level that cannot be created stops the levels below it. Stops at
// the root ("/", or a drive or share root on Windows) and at an empty
// text. True when the folder exists afterwards.
bool MakeFolderChain(const std::string& path);

// The text up to and including the last separator (on Windows also a
// drive's ":"), or empty when there is none.
std::string FolderPart(const std::string& path);

}  // namespace files

namespace files {

// A regular file opened for reading, with its size and last-write time.
// Nothing is waited for: a pipe or a device standing at the path is not
// opened as a file.
struct ReadableFile {
  UniqueHandle handle;
  std::uint64_t size = 0;
  time_t modified = 0;
};
std::optional<ReadableFile> OpenRegularFile(const std::string& path);
// Reads up to `count` bytes at `offset` (or at the file's position),
// going on after interruptions: the bytes read, 0 at the end, -1 on failure.
long long ReadAt(Handle handle, void* buffer, std::size_t count, std::uint64_t offset);
long long ReadSome(Handle handle, void* buffer, std::size_t count);
// How many files the process may have open at once (its soft limit).
std::size_t DescriptorLimit();

// Whether the open flags that the cabinet interface hands its callbacks
// (POSIX open flags, as <fcntl.h> spells them on every host) ask for
// reading only, and the flags that do.
int ReadOnlyFlags();
bool IsReadOnly(int open_flags);

// A calendar time (tm's fields) read as UTC: seconds since 1970.
time_t UtcSeconds(std::tm parts);

// The folder `name` in `folder` (ending in a separator), by exact name or
// else the first name in byte order that equals it ignoring the case of A
// to Z; with a separator at its end. Nothing when there is none. (On
// Windows the file system itself ignores case.)
std::optional<std::string> FindFolderIgnoringCase(const std::string& folder,
                                                  const std::string& name);

// The path of the file `name` in `folder` (ending in a separator): the
// exact name when it exists, else the first name in byte order that equals
// it when the letters A to Z are taken in either case. Nothing when there
// is none.
std::optional<std::string> FindFileIgnoringCase(const std::string& folder, const std::string& name);

}  // namespace files
