// The handler's catalogue store: thirteen text columns, each a sequence of
// texts in the order they were appended. Columns 1, 3, 4, 5 and 6 also keep
// a hash index, so that the first position of a text is found without a
// scan; keys compare byte for byte, case-sensitive.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TextColumn {
 public:
  explicit TextColumn(bool hashed = false) : hashed_(hashed) {}
  TextColumn(const TextColumn&) = delete;
  TextColumn& operator=(const TextColumn&) = delete;

  void Append(std::string text);
  std::size_t Count() const { return texts_.size(); }
  const std::string& At(std::size_t position) const { return texts_.at(position); }
  // The lowest position holding `text`; a hashed column only.
  std::optional<std::size_t> FindFirst(std::string_view text) const;

 private:
  bool hashed_;
  // A deque never moves its elements, so the index can look into them.
  std::deque<std::string> texts_;
  std::unordered_map<std::string_view, std::size_t> first_position_;
};

// Column 8 of the store: per catalogue entry, the folder of a selected
// entry as a node of the package's folder tree, none for an entry not
// selected. Its directory path is worked out from the tree when it is
// needed: a whole path per entry would hold files x depth bytes.
class FolderColumn {
 public:
  static constexpr std::uint32_t kNone = UINT32_MAX;
  void Append(std::uint32_t folder) { folders_.push_back(folder); }
  std::size_t Count() const { return folders_.size(); }
  std::uint32_t At(std::size_t position) const { return folders_.at(position); }
  bool IsSelected(std::size_t position) const { return At(position) != kNone; }

 private:
  std::vector<std::uint32_t> folders_;
};

// Column numbers of the catalogue store.
enum CatalogueColumn : std::size_t {
  kFileKey = 0,             // File.File
  kFileComponent = 1,       // File.Component_
  kFileName = 2,            // File.FileName
  kComponentKey = 3,        // Component.Component
  kComponentDirectory = 4,  // Component.Directory_
  kDirectoryKey = 5,        // Directory.Directory
  kDirectoryParent = 6,     // Directory.Directory_Parent
  kDirectoryDefault = 7,    // Directory.DefaultDir
  kSelectedPath = 8,        // folder of a selected entry (selected_folders())
  kSelectedName = 9,        // long file name of a selected entry
  kCatalogueColumns = 13,
};

class CatalogueStore {
 public:
  CatalogueStore();
  TextColumn& operator[](std::size_t column) { return columns_.at(column); }
  const TextColumn& operator[](std::size_t column) const { return columns_.at(column); }
  FolderColumn& selected_folders() { return selected_folders_; }
  const FolderColumn& selected_folders() const { return selected_folders_; }

 private:
  std::array<TextColumn, kCatalogueColumns> columns_;  // column 8 unused: see FolderColumn
  FolderColumn selected_folders_;
};
