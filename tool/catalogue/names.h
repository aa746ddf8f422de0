// Folder segments and long file names from installer name values.
#pragma once

#include <string>

// Cuts `text` at the first `separator`: returns what stands before it and
// leaves in `text` what follows it. Without a separator the whole text is
// returned and `text` becomes empty.
std::string CutAt(std::string& text, char separator);

// The folder segment, ending in "/", of a DefaultDir value of the form
// [target:]source with each part short|long: the source part when there is
// one, and of that part the long name when there is one.
std::string DirectorySegment(const std::string& default_dir);

// The text after the first "|" of a FileName value, when there is any;
// otherwise the whole value.
std::string LongFileName(const std::string& file_name);
