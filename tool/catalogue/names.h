// Folder segments and long file names from installer name values.
#pragma once

#include <string>
#include <string_view>

// Cuts `text` at the first `separator`: returns what stands before it and
// leaves in `text` what follows it. Without a separator the whole text is
// returned and `text` becomes empty.
std::string CutAt(std::string& text, char separator);

// A DefaultDir value, "[target:]source" with each part "short|long", read
// once: the source part when there is one, of it the long name when there is
// one (the folder in the extracted tree) and the short name (for packages
// whose uncompressed files lie under short names).
struct FolderNames {
  std::string long_name;
  std::string short_name;
};
FolderNames ParseDefaultDir(const std::string& default_dir);

// The folder name a source layout uses of a DefaultDir's names: the long
// one, or the short one with `short_names`; empty for "." (a folder that is
// its parent adds no level).
std::string_view SourceName(std::string_view long_name, std::string_view short_name,
                            bool short_names);

// The folder segment, ending in "/", of a DefaultDir value: its long name.
std::string DirectorySegment(const std::string& default_dir);

// The text after the first "|" of a FileName value, when there is any;
// otherwise the whole value.
std::string LongFileName(const std::string& file_name);
