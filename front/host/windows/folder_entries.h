// Reading and clearing folders by their long paths ("\\?\..."), never
// through a reparse point.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarvelin {

struct FolderEntry {
  std::wstring name;
  unsigned long attributes = 0;
  bool IsFolder() const;  // a real folder, not a link to one
};

// The entries of the folder `folder` other than "." and "..", or nothing
// when it cannot be read.
std::optional<std::vector<FolderEntry>> ListFolder(const std::wstring& folder);

// Removes everything below the folder `folder` (with or without a separator
// at its end), and the folder itself with
// `remove_top`. A reparse point inside (a link, a junction) is removed as
// itself, never followed; read-only files go too. The walk holds its own
// stack: a tree of any depth is removed without deep recursion. False when
// something could not be removed.
bool RemoveTree(const std::wstring& folder, bool remove_top);

// Removes the file or reparse point `path`, a read-only one too.
bool RemoveNonFolder(const std::wstring& path, unsigned long attributes);

}  // namespace tarvelin
