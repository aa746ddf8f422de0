#include "cabinet/extraction_plan.h"

#include <deque>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "catalogue/safe_names.h"
#include "files/host_names.h"

namespace {

using Node = DirectoryTree::Node;

// A place of the tree: a folder and a long name in it.
struct PlaceKey {
  Node folder;
  std::string_view name;
  bool operator==(const PlaceKey&) const = default;
};
struct PlaceKeyHash {
  std::size_t operator()(const PlaceKey& key) const {
    return std::hash<std::string_view>()(key.name) * 31 + key.folder;
  }
};

// Where names ignore case, folders whose paths differ only in case are one
// folder: each node stands for the first node of its parent's one folder
// with the same segment in upper case. Each node is settled once, from the
// top of its path down.
class FolderIdentity {
 public:
  explicit FolderIdentity(const DirectoryTree& tree)
      : tree_(tree), fold_(files::NamesIgnoreCase()), of_(fold_ ? tree.size() : 0, kUnset) {}

  Node operator()(Node node) {
    if (!fold_) return node;
    std::vector<Node> pending;
    for (Node at = node; at != DirectoryTree::kNoNode && of_[at] == kUnset; at = tree_.parent(at))
      pending.push_back(at);
    for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
      const Node parent = tree_.parent(*it);
      const Node above = parent == DirectoryTree::kNoNode ? DirectoryTree::kNoNode : of_[parent];
      auto key = std::make_pair(above, files::FoldCase(tree_.segment(*it)));
      of_[*it] = first_.try_emplace(std::move(key), *it).first->second;
    }
    return of_[node];
  }

 private:
  static constexpr Node kUnset = DirectoryTree::kNoNode - 1;
  struct Hash {
    std::size_t operator()(const std::pair<Node, std::string>& key) const {
      return std::hash<std::string>()(key.second) * 31 + key.first;
    }
  };
  const DirectoryTree& tree_;
  const bool fold_;
  std::vector<Node> of_;
  std::unordered_map<std::pair<Node, std::string>, Node, Hash> first_;
};

}  // namespace

ExtractionPlan::ExtractionPlan(const PackageFiles& files, const FolderColumn& selected)
    : files_(files), steps_(files.size()) {
  const DirectoryTree& tree = files.tree();
  std::unordered_map<PlaceKey, std::uint32_t, PlaceKeyHash> place_numbers;
  place_numbers.reserve(files.size());
  FolderIdentity folder_of(tree);
  const bool fold_case = files::NamesIgnoreCase();
  std::deque<std::string> folded_names;  // the keys' names, where case is ignored
  for (std::size_t entry = 0; entry < steps_.size() && entry < selected.Count(); ++entry) {
    if (!selected.IsSelected(entry)) continue;
    Step& step = steps_[entry];
    step.folder = selected.At(entry);
    const std::string_view name = files.long_name(entry);
    if (!IsSafeFileName(files.key(entry))) {
      step.action = Action::kUnsafe;
    } else if (tree.too_deep(step.folder)) {
      step.action = Action::kUnderKey;
      ++too_deep_;
    } else if (tree.unsafe(step.folder) || !IsSafeLongName(name)) {
      step.action = Action::kUnsafe;
      const auto number = static_cast<std::uint32_t>(place_numbers.size());
      step.place = place_numbers.try_emplace(PlaceKey{step.folder, name}, number).first->second;
    } else if (tree.unholdable(step.folder) || files::CannotHold(name)) {
      step.action = Action::kUnderKey;
      unholdable_.push_back(entry);
    } else {
      step.action = Action::kToPlace;
      PlaceKey key{step.folder, name};
      if (fold_case) {
        key.folder = folder_of(step.folder);
        key.name = folded_names.emplace_back(files::FoldCase(name));
      }
      const auto number = static_cast<std::uint32_t>(place_numbers.size());
      step.place = place_numbers.try_emplace(key, number).first->second;
    }
  }
  places_ = place_numbers.size();
}

std::string ExtractionPlan::PlaceText(std::size_t entry) const {
  const Step& step = steps_.at(entry);
  if (step.action == Action::kNone || step.action == Action::kUnderKey)
    return std::string(files_.key(entry));
  return PackagePlace(entry);
}

std::string ExtractionPlan::PackagePlace(std::size_t entry) const {
  std::string text = files_.tree().Path(steps_.at(entry).folder);
  text += files_.long_name(entry);
  return text;
}

const char* ExtractionPlan::PlacementWord(bool landed_at_place, bool place_stood_before,
                                          bool place_reported_before) {
  return landed_at_place && !place_stood_before && !place_reported_before ? " renaming"
                                                                          : " replaceing";
}
