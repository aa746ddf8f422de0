// The package's folders as one tree: a node per Directory row, and a
// stand-in node per folder key that names no row. Each DefaultDir is parsed
// once, into the segment that the extracted tree uses and the source names
// under which an uncompressed file's folder lies beside the package. Paths
// are worked out through the parent links when they are needed and are never
// stored whole, so memory stays linear in the table whatever its depth.
//
// Where a chain of parents ends:
// - a row whose parent key is empty or its own key is a root;
// - a parent key that names no row ends the chain with a stand-in for that
//   key, whose segment is the key itself;
// - a chain that comes back to a row already on it is cut at the row whose
//   parent would close the loop, the first time the loop is met walking the
//   rows in table order; that row then heads the chain.
// Of two rows with one key, the first is the one a key finds.
//
// The directory path of a node is the segments from the top of its chain
// down to the node, each ending in "/". The source path leaves out the top
// of the chain when that is a root row or a stand-in (they stand for the
// package's folder), and every source name "." (a folder that is its
// parent).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "msidb/catalogue_store.h"

class DirectoryTree {
 public:
  using Node = std::uint32_t;
  static constexpr Node kNoNode = UINT32_MAX;
  // The longest directory path, in bytes, that names a folder: no path a
  // Linux program names at once is longer, and no real installation comes
  // near it. A deeper folder is "too deep": the listing and the extraction
  // put its files under their File keys.
  static constexpr std::size_t kMaxPathBytes = 4096;

  DirectoryTree() = default;
  // The Directory columns (5, 6 and 7) of the store.
  explicit DirectoryTree(const CatalogueStore& catalogue);

  // The node of a folder key: its first row, or the key's stand-in (made
  // at the first ask).
  Node NodeOf(std::string_view key);
  std::size_t size() const { return nodes_.size(); }

  Node parent(Node node) const { return nodes_[node].parent; }
  // The node's segment in the extracted tree, ending in "/".
  const std::string& segment(Node node) const { return nodes_[node].segment; }
  // The length of the node's directory path, or kMaxPathBytes + 1 when it
  // is longer.
  std::size_t path_bytes(Node node) const { return nodes_[node].path_bytes; }
  bool too_deep(Node node) const { return nodes_[node].path_bytes > kMaxPathBytes; }
  // A segment of the path is "..", holds NUL, or the path is absolute (or
  // names a drive, on Windows).
  bool unsafe(Node node) const { return nodes_[node].unsafe; }
  // A folder of the path has a name that the host cannot hold (a device
  // name, on Windows): harmless, but no such folder can be made.
  bool unholdable(Node node) const { return nodes_[node].unholdable; }

  // Appends the node's directory path to `path`. Its cost is the path's
  // length: callers ask it only of folders that are not too deep.
  void AppendPath(Node node, std::string& path) const;
  std::string Path(Node node) const;

  // The node's source path below the package's folder, each name followed
  // by "/"; empty for the package's folder itself; nothing when it is
  // longer than kMaxPathBytes. `safe` is cleared when a name would leave
  // the folder (".." or "/" in it, NUL).
  std::optional<std::string> SourcePath(Node node, bool short_names, bool* safe) const;

 private:
  enum class Kind : std::uint8_t { kRow, kRoot, kStandIn };
  struct Entry {
    Node parent = kNoNode;
    Kind kind = Kind::kRow;
    bool unsafe = false;
    bool unholdable = false;
    std::uint32_t path_bytes = 0;
    std::string segment;
    std::string source_long;  // empty for "."
    std::string source_short;
  };

  Node AddStandIn(std::string_view key);
  // Cuts the loops and works out each row's path size and safety, each row
  // once, in table order.
  void Settle();

  const TextColumn* keys_ = nullptr;
  std::vector<Entry> nodes_;
  std::unordered_map<std::string, Node> stand_ins_;
};
