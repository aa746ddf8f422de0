// Selecting the catalogue entries whose long name matches the run's mask,
// and the `l` listing.
#include "catalogue/mask.h"
#include "catalogue/names.h"
#include "console/console.h"
#include "msidb/msi_handler.h"

void TMsiHandler::SelectFiles(const std::string& mask, bool list) {
  if (mask_.empty()) mask_ = mask;
  LoadCatalogue();

  const std::size_t entries = catalogue_[kFileComponent].Count();
  std::size_t selected = 0;
  for (std::size_t entry = 0; entry < entries; ++entry) {
    std::optional<std::string> path = ResolveDirectoryPath(entry);
    std::string name = LongFileName(catalogue_[kFileName].At(entry));
    // An entry whose component has no row has no place in the tree.
    const bool chosen = path && MatchesMask(mask_, name);
    if (chosen) ++selected;
    if (list) {
      // The listing is printed as it goes; keeping every whole path too
      // would hold (files x folder depth) bytes for nothing.
      if (chosen) ConsoleLine(*path + name);
    } else if (chosen) {
      catalogue_[kSelectedPath].Append(std::move(*path));
      catalogue_[kSelectedName].Append(std::move(name));
    } else {
      catalogue_[kSelectedPath].Append({});
      catalogue_[kSelectedName].Append({});
    }
  }
  if (list) ConsoleLine(std::to_string(selected) + "/" + std::to_string(entries) + " files");
}
