#include "catalogue/safe_names.h"

#include <string>

#include "files/host_names.h"

bool IsSafeLongName(std::string_view name) {
  return name != ".." && name.find('\0') == std::string_view::npos &&
         files::FindSeparator(name) == std::string_view::npos && !files::LeadsElsewhere(name);
}

bool IsSafeFileName(std::string_view name) {
  return !name.empty() && name != "." && IsSafeLongName(name) && !files::CannotHold(name);
}

bool IsSafeRelativePath(std::string_view path) {
  if (path.empty() || files::IsSeparator(path.front()) ||
      path.find('\0') != std::string_view::npos) {
    return false;
  }
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = files::FindSeparator(path, start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view segment = path.substr(start, end - start);
    if (segment == ".." || files::LeadsElsewhere(segment)) return false;
    start = end + 1;
  }
  return true;
}

bool IsSafeTargetPath(std::string_view directory_path, std::string_view long_name) {
  return files::FindSeparator(long_name) == std::string_view::npos &&
         IsSafeRelativePath(std::string(directory_path) + std::string(long_name));
}
