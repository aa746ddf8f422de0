#include "catalogue/safe_names.h"

#include <string>

bool IsSafeLongName(std::string_view name) {
  return name != ".." && name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

bool IsSafeFileName(std::string_view name) {
  return !name.empty() && name != "." && IsSafeLongName(name);
}

bool IsSafeRelativePath(std::string_view path) {
  if (path.empty() || path.front() == '/' || path.find('\0') != std::string_view::npos) {
    return false;
  }
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (path.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

bool IsSafeTargetPath(std::string_view directory_path, std::string_view long_name) {
  return long_name.find('/') == std::string_view::npos &&
         IsSafeRelativePath(std::string(directory_path) + std::string(long_name));
}
