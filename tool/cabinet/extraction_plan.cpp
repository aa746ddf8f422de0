#include "cabinet/extraction_plan.h"

#include <functional>
#include <string_view>
#include <unordered_map>

#include "catalogue/safe_names.h"

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

}  // namespace

ExtractionPlan::ExtractionPlan(const PackageFiles& files, const FolderColumn& selected)
    : files_(files), steps_(files.size()) {
  const DirectoryTree& tree = files.tree();
  std::unordered_map<PlaceKey, std::uint32_t, PlaceKeyHash> place_numbers;
  place_numbers.reserve(files.size());
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
    } else {
      step.action =
          tree.unsafe(step.folder) || !IsSafeLongName(name) ? Action::kUnsafe : Action::kToPlace;
      const auto number = static_cast<std::uint32_t>(place_numbers.size());
      step.place = place_numbers.try_emplace(PlaceKey{step.folder, name}, number).first->second;
    }
  }
  places_ = place_numbers.size();
}

std::string ExtractionPlan::PlaceText(std::size_t entry) const {
  const Step& step = steps_.at(entry);
  if (step.action == Action::kNone || step.action == Action::kUnderKey)
    return std::string(files_.key(entry));
  std::string text = files_.tree().Path(step.folder);
  text += files_.long_name(entry);
  return text;
}

const char* ExtractionPlan::PlacementWord(bool landed_at_place, bool place_stood_before,
                                          bool place_reported_before) {
  return landed_at_place && !place_stood_before && !place_reported_before ? " renaming"
                                                                          : " replaceing";
}
