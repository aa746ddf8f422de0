// Selecting the catalogue entries whose long name matches the run's mask,
// and the `l` listing.
#include "catalogue/mask.h"
#include "console/console.h"
#include "msidb/msi_handler.h"

void TMsiHandler::SelectFiles(const std::string& mask, bool list) {
  if (mask_.empty()) mask_ = mask;
  LoadCatalogue();

  const DirectoryTree& tree = files_.tree();
  const std::size_t entries = catalogue_[kFileComponent].Count();
  std::size_t selected = 0;
  std::string line;
  for (std::size_t entry = 0; entry < entries; ++entry) {
    const DirectoryTree::Node folder =
        entry < files_.size() ? files_.folder(entry) : DirectoryTree::kNoNode;
    const std::string_view name = entry < files_.size() ? files_.long_name(entry) : "";
    // An entry whose component has no row has no place in the tree.
    const bool chosen = folder != DirectoryTree::kNoNode && MatchesMask(mask_, name);
    if (chosen) ++selected;
    catalogue_.selected_folders().Append(chosen ? folder : FolderColumn::kNone);
    catalogue_[kSelectedName].Append(chosen ? std::string(name) : std::string());
    if (list && chosen) {
      // Printed as it goes, from the tree. A folder too deep for any
      // file system is shown as `x` writes its files: under their keys.
      line.clear();
      if (tree.too_deep(folder)) {
        line = files_.key(entry);
      } else {
        tree.AppendPath(folder, line);
        line += name;
      }
      ConsoleLine(line);
    }
  }
  if (list) ConsoleLine(std::to_string(selected) + "/" + std::to_string(entries) + " files");
}
