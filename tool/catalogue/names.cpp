#include "catalogue/names.h"

#include "files/host_names.h"

std::string CutAt(std::string& text, char separator) {
  std::size_t at = text.find(separator);
  std::string head;
  if (at == std::string::npos) {
    head.swap(text);
  } else {
    head = text.substr(0, at);
    text.erase(0, at + 1);
  }
  return head;
}

FolderNames ParseDefaultDir(const std::string& default_dir) {
  std::string source = default_dir;
  CutAt(source, ':');
  if (source.empty()) source = default_dir;
  std::string head = CutAt(source, '|');
  // `source` now holds the long name, when there is one.
  return {source.empty() ? head : std::move(source), std::move(head)};
}

std::string_view SourceName(std::string_view long_name, std::string_view short_name,
                            bool short_names) {
  const std::string_view name = short_names ? short_name : long_name;
  return name == "." ? std::string_view() : name;
}

std::string DirectorySegment(const std::string& default_dir) {
  return ParseDefaultDir(default_dir).long_name + files::Separator();
}

std::string LongFileName(const std::string& file_name) {
  std::string rest = file_name;
  CutAt(rest, '|');
  return rest.empty() ? file_name : rest;
}
