// The package's files as the listing, the extraction and the source layout
// read them, built once per run from the catalogue store: for each catalogue
// entry its key, component, file name and long name (views into the store),
// its attributes and sequence, and its folder as a node of the one folder
// tree. Nothing here is a path: paths come from the tree when needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "catalogue/directory_tree.h"
#include "msidb/catalogue_store.h"

// What the File table gives besides the catalogue store's texts.
struct FileNumbers {
  int attributes = 0;  // 0 for a null value
  int sequence = 0;
};

class PackageFiles {
 public:
  PackageFiles() = default;
  // `numbers` is aligned with the store's File columns (one per entry).
  PackageFiles(const CatalogueStore& catalogue, std::vector<FileNumbers> numbers);

  std::size_t size() const { return folders_.size(); }
  const DirectoryTree& tree() const { return tree_; }

  std::string_view key(std::size_t entry) const { return (*keys_).At(entry); }
  std::string_view file_name(std::size_t entry) const { return (*names_).At(entry); }
  // LongFileName of the entry's file name.
  std::string_view long_name(std::size_t entry) const {
    return file_name(entry).substr(long_name_at_[entry]);
  }
  int attributes(std::size_t entry) const { return numbers_[entry].attributes; }
  int sequence(std::size_t entry) const { return numbers_[entry].sequence; }
  // The entry's folder; kNoNode when its component has no row or names no
  // folder (such an entry has no place in the tree).
  DirectoryTree::Node folder(std::size_t entry) const { return folders_[entry]; }

  // Makes the index of the File keys that FindKey reads (`x` needs it, `l`
  // does not).
  void IndexKeys();
  // The first entry, in catalogue order, whose File key is `key` (compared
  // byte for byte); nothing when there is none.
  std::optional<std::size_t> FindKey(std::string_view key) const;

 private:
  const TextColumn* keys_ = nullptr;
  const TextColumn* names_ = nullptr;
  DirectoryTree tree_;
  std::vector<DirectoryTree::Node> folders_;
  std::vector<std::uint32_t> long_name_at_;
  std::vector<FileNumbers> numbers_;
  std::unordered_map<std::string_view, std::size_t> key_index_;
};
