#include "catalogue/directory_tree.h"

#include <algorithm>
#include <cstring>

#include "catalogue/names.h"
#include "catalogue/safe_names.h"
#include "files/host_names.h"

namespace {

// What the levels of one segment are, read in one pass: unsafe, when one
// would lead out of the tree (a ".." level, a NUL, a separator in front of
// the whole path, a level the host takes for another place, such as a
// drive on Windows); unholdable, when the host cannot hold one as a
// folder's name.
struct SegmentLevels {
  bool unsafe = false;
  bool unholdable = false;
};
SegmentLevels ReadLevels(std::string_view segment, bool at_top) {
  SegmentLevels levels;
  levels.unsafe = segment.find('\0') != std::string_view::npos ||
                  (at_top && !segment.empty() && files::IsSeparator(segment.front()));
  std::size_t start = 0;
  while (start < segment.size() && !levels.unsafe) {
    std::size_t end = files::FindSeparator(segment, start);
    if (end == std::string_view::npos) end = segment.size();
    const std::string_view level = segment.substr(start, end - start);
    levels.unsafe = level == ".." || files::LeadsElsewhere(level);
    if (!level.empty() && level != "." && files::CannotHold(level)) levels.unholdable = true;
    start = end + 1;
  }
  return levels;
}

}  // namespace

DirectoryTree::DirectoryTree(const CatalogueStore& catalogue) : keys_(&catalogue[kDirectoryKey]) {
  const TextColumn& keys = catalogue[kDirectoryKey];
  const TextColumn& parents = catalogue[kDirectoryParent];
  const TextColumn& defaults = catalogue[kDirectoryDefault];
  const std::size_t rows = std::min({keys.Count(), parents.Count(), defaults.Count()});
  nodes_.resize(rows);
  for (std::size_t row = 0; row < rows; ++row) {
    FolderNames names = ParseDefaultDir(defaults.At(row));
    Entry& node = nodes_[row];
    node.segment = std::move(names.long_name) + files::Separator();
    node.source_short = std::move(names.short_name);
  }
  for (std::size_t row = 0; row < rows; ++row) {
    const std::string& parent = parents.At(row);
    if (parent.empty() || parent == keys.At(row)) {
      nodes_[row].kind = Kind::kRoot;
      continue;
    }
    const std::optional<std::size_t> parent_row = keys.FindFirst(parent);
    nodes_[row].parent =
        parent_row && *parent_row < rows ? static_cast<Node>(*parent_row) : AddStandIn(parent);
  }
  Settle();
}

DirectoryTree::Node DirectoryTree::AddStandIn(std::string_view key) {
  auto [found, added] = stand_ins_.try_emplace(std::string(key), static_cast<Node>(nodes_.size()));
  if (!added) return found->second;
  Entry node;
  node.kind = Kind::kStandIn;
  node.segment = std::string(key) + files::Separator();
  node.path_bytes = static_cast<std::uint32_t>(std::min(node.segment.size(), kMaxPathBytes + 1));
  const SegmentLevels levels = ReadLevels(node.segment, true);
  node.unsafe = levels.unsafe;
  node.unholdable = levels.unholdable;
  nodes_.push_back(std::move(node));
  return found->second;
}

DirectoryTree::Node DirectoryTree::NodeOf(std::string_view key) {
  if (keys_ != nullptr) {
    const std::optional<std::size_t> row = keys_->FindFirst(key);
    if (row && *row < nodes_.size() && nodes_[*row].kind != Kind::kStandIn)
      return static_cast<Node>(*row);
  }
  return AddStandIn(key);
}

void DirectoryTree::Settle() {
  // 0: not reached yet; 1: on the walk at hand; 2: settled. Stand-ins are
  // settled when made.
  enum : std::uint8_t { kNew, kOnWalk, kSettled };
  std::vector<std::uint8_t> state(nodes_.size(), kNew);
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    if (nodes_[i].kind == Kind::kStandIn) state[i] = kSettled;
  }
  std::vector<Node> walk;
  for (Node row = 0; row < nodes_.size(); ++row) {
    if (state[row] == kSettled) continue;
    walk.clear();
    Node node = row;
    while (true) {
      state[node] = kOnWalk;
      walk.push_back(node);
      const Node parent = nodes_[node].parent;
      if (parent == kNoNode || state[parent] == kSettled) break;
      if (state[parent] == kOnWalk) {
        nodes_[node].parent = kNoNode;  // the loop is cut here
        break;
      }
      node = parent;
    }
    for (auto it = walk.rbegin(); it != walk.rend(); ++it) {
      Entry& entry = nodes_[*it];
      std::size_t bytes = entry.segment.size();
      const SegmentLevels levels = ReadLevels(entry.segment, entry.parent == kNoNode);
      bool unsafe = levels.unsafe;
      bool unholdable = levels.unholdable;
      if (entry.parent != kNoNode) {
        bytes += nodes_[entry.parent].path_bytes;
        unsafe = unsafe || nodes_[entry.parent].unsafe;
        unholdable = unholdable || nodes_[entry.parent].unholdable;
      }
      entry.path_bytes = static_cast<std::uint32_t>(std::min(bytes, kMaxPathBytes + 1));
      entry.unsafe = unsafe;
      entry.unholdable = unholdable;
      state[*it] = kSettled;
    }
  }
}

void DirectoryTree::AppendPath(Node node, std::string& path) const {
  std::size_t bytes = 0;
  for (Node at = node; at != kNoNode; at = nodes_[at].parent) bytes += nodes_[at].segment.size();
  std::size_t end = path.size() + bytes;
  path.resize(end);
  for (Node at = node; at != kNoNode; at = nodes_[at].parent) {
    const std::string& segment = nodes_[at].segment;
    end -= segment.size();
    std::memcpy(path.data() + end, segment.data(), segment.size());
  }
}

std::string DirectoryTree::Path(Node node) const {
  std::string path;
  AppendPath(node, path);
  return path;
}

std::optional<std::string> DirectoryTree::SourcePath(Node node, bool short_names,
                                                     bool* safe) const {
  std::vector<std::string_view> names;  // from the folder up
  std::size_t bytes = 0;
  for (Node at = node; at != kNoNode && nodes_[at].kind == Kind::kRow; at = nodes_[at].parent) {
    const Entry& entry = nodes_[at];
    const std::string_view name =
        SourceName(std::string_view(entry.segment).substr(0, entry.segment.size() - 1),
                   entry.source_short, short_names);
    if (name.empty()) continue;
    bytes += name.size() + 1;
    if (bytes > kMaxPathBytes) return std::nullopt;
    names.push_back(name);
  }
  std::string path;
  for (auto name = names.rbegin(); name != names.rend(); ++name) {
    if (!IsSafeLongName(*name)) *safe = false;
    path.append(*name);
    path.push_back(files::Separator());
  }
  return path;
}
