// The file-system functions the tool needs from its host, on POSIX.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "files/unique_fd.h"

namespace files {

// The absolute form of `path`, made against the current folder; "." and ".."
// are resolved as text, symbolic links are left alone. A trailing "/" is
// kept. Empty when the current folder cannot be read (it has been removed,
// for instance) and `path` is relative.
std::string FullPathName(const std::string& path);

// Flags of a file created new for writing: exclusively, never through a
// link, not inherited by programs the process starts.
int NewFileFlags();

// Writes all `count` bytes, going on after short writes and interruptions.
// False with `*error` set (ENOSPC for a write that took nothing) when a
// write fails.
bool WriteAll(int fd, const void* bytes, std::size_t count, int* error);
inline bool WriteAll(int fd, std::string_view bytes) {
  int error = 0;
  return WriteAll(fd, bytes.data(), bytes.size(), &error);
}

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

// A regular file opened for reading, with its size and last-write time.
// Nothing is waited for: a pipe or a device standing at the path is not
// opened as a file.
struct ReadableFile {
  UniqueFd fd;
  std::uint64_t size = 0;
  time_t modified = 0;
};
std::optional<ReadableFile> OpenRegularFile(const std::string& path);
// Reads up to `count` bytes at `offset` (or at the file's position),
// going on after interruptions: the bytes read, 0 at the end, -1 on failure.
long long ReadAt(int fd, void* buffer, std::size_t count, std::uint64_t offset);
long long ReadSome(int fd, void* buffer, std::size_t count);
// How many descriptors the process may have open (its soft limit).
std::size_t DescriptorLimit();

// Open flags that ask for reading only, and whether flags do.
int ReadOnlyFlags();
bool IsReadOnly(int open_flags);

// A calendar time (tm's fields) read as UTC: seconds since 1970.
time_t UtcSeconds(std::tm parts);

// The folder `name` in `folder` (ending in "/"), by exact name or else the
// first name in byte order that equals it ignoring the case of A to Z; with
// "/" at its end. Nothing when there is none.
std::optional<std::string> FindFolderIgnoringCase(const std::string& folder,
                                                  const std::string& name);

// The path of the file `name` in `folder` (ending in "/"): the exact name
// when it exists, else the first name in byte order that equals it when the
// letters A to Z are taken in either case. Nothing when there is none.
std::optional<std::string> FindFileIgnoringCase(const std::string& folder, const std::string& name);

}  // namespace files
