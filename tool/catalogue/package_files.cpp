#include "catalogue/package_files.h"

#include <algorithm>

PackageFiles::PackageFiles(const CatalogueStore& catalogue, std::vector<FileNumbers> numbers)
    : keys_(&catalogue[kFileKey]),
      names_(&catalogue[kFileName]),
      tree_(catalogue),
      numbers_(std::move(numbers)) {
  const TextColumn& components = catalogue[kFileComponent];
  const TextColumn& component_keys = catalogue[kComponentKey];
  const TextColumn& component_folders = catalogue[kComponentDirectory];
  const std::size_t entries = std::min({keys_->Count(), components.Count(), names_->Count()});
  numbers_.resize(entries);
  folders_.assign(entries, DirectoryTree::kNoNode);
  long_name_at_.assign(entries, 0);
  for (std::size_t entry = 0; entry < entries; ++entry) {
    // The long name is what follows the first "|", when anything does.
    const std::string& name = names_->At(entry);
    const std::size_t bar = name.find('|');
    if (bar != std::string::npos && bar + 1 < name.size())
      long_name_at_[entry] = static_cast<std::uint32_t>(bar + 1);
    const std::optional<std::size_t> component = component_keys.FindFirst(components.At(entry));
    if (!component || *component >= component_folders.Count()) continue;
    const std::string& folder_key = component_folders.At(*component);
    if (!folder_key.empty()) folders_[entry] = tree_.NodeOf(folder_key);
  }
}

void PackageFiles::IndexKeys() {
  key_index_.clear();
  key_index_.reserve(folders_.size());
  for (std::size_t entry = 0; entry < folders_.size(); ++entry)
    key_index_.emplace(key(entry), entry);
}

std::optional<std::size_t> PackageFiles::FindKey(std::string_view key) const {
  auto found = key_index_.find(key);
  if (found == key_index_.end()) return std::nullopt;
  return found->second;
}
