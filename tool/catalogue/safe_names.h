// Names from a package that would be used on disk. Nothing a package says
// may place a file outside the folder the user chose, so such names are
// checked, by the host's rules, before they reach the file system.
#pragma once

#include <string_view>

// A name used directly in the target folder (a File key, an embedded
// cabinet's stream name): not empty, not "." or "..", no separator and no
// NUL, nothing the host takes for another place (on Windows a ":"), and a
// name the host can hold.
bool IsSafeFileName(std::string_view name);

// A long file name used in a folder of the tree, or a folder name of the
// source layout: not "..", no separator, no NUL and nothing the host takes
// for another place (an empty name and "." name the folder itself).
bool IsSafeLongName(std::string_view name);

// A path below the target folder (a directory path and a long file name, or
// an external cabinet value): no ".." segment, no NUL, not absolute, and no
// segment the host takes for another place.
bool IsSafeRelativePath(std::string_view path);

// The place of an extracted file: its directory path followed by its long
// name, where the long name itself holds no separator.
bool IsSafeTargetPath(std::string_view directory_path, std::string_view long_name);
