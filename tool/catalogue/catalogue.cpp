// Loading the File, Component and Directory tables into the catalogue store,
// and working out each file's folder from them.
#include "catalogue/names.h"
#include "msidb/msi_handler.h"

namespace {

struct TableColumns {
  const char* sql;
  std::vector<std::pair<unsigned, CatalogueColumn>> fields;  // field -> column
};

}  // namespace

void TMsiHandler::LoadCatalogue() {
  const TableColumns tables[] = {
      {"select * from `File`", {{1, kFileKey}, {2, kFileComponent}, {3, kFileName}}},
      {"select * from `Component`", {{1, kComponentKey}, {3, kComponentDirectory}}},
      {"select * from `Directory`",
       {{1, kDirectoryKey}, {2, kDirectoryParent}, {3, kDirectoryDefault}}},
  };
  for (const auto& table : tables) {
    if (Query(table.sql, 0)) {
      while (FetchRow()) {
        for (const auto& [field, column] : table.fields)
          catalogue_[column].Append(FieldString(field));
        CloseHandle(record_);
      }
    }
    CloseHandle(view_);
  }
  resolved_paths_.assign(catalogue_[kDirectoryKey].Count(), std::nullopt);
  walk_marks_.assign(catalogue_[kDirectoryKey].Count(), 0);
}

// Walks from a folder up to its root, putting each row's segment in front.
// A key without a row stands in as a root named by the key itself; a row
// whose parent is its own key is a root; a chain that comes back to a row
// already visited stops at the row whose parent was visited. The walk visits
// each row at most once, so it always ends.
std::optional<std::string> TMsiHandler::WalkDirectoryChain(const std::string& directory_key) {
  const TextColumn& keys = catalogue_[kDirectoryKey];
  const TextColumn& parents = catalogue_[kDirectoryParent];
  const TextColumn& defaults = catalogue_[kDirectoryDefault];

  std::optional<std::size_t> first_row = keys.FindFirst(directory_key);
  if (!first_row) return directory_key + "/";
  if (resolved_paths_[*first_row]) return resolved_paths_[*first_row];

  if (++walk_number_ == 0) {
    walk_marks_.assign(walk_marks_.size(), 0);
    walk_number_ = 1;
  }
  std::vector<std::string> segments;  // from the folder up
  std::size_t row = *first_row;
  while (true) {
    walk_marks_[row] = walk_number_;
    segments.push_back(DirectorySegment(defaults.At(row)));
    const std::string& parent = parents.At(row);
    if (parent.empty() || parent == keys.At(row)) break;
    std::optional<std::size_t> parent_row = keys.FindFirst(parent);
    if (!parent_row) {
      segments.push_back(parent + "/");
      break;
    }
    if (walk_marks_[*parent_row] == walk_number_) break;
    row = *parent_row;
  }
  std::string path;
  for (auto it = segments.rbegin(); it != segments.rend(); ++it) path += *it;
  // Only the walk's first row is remembered: a walk always begins there, so
  // its path is the same every time, cycles included.
  resolved_paths_[*first_row] = path;
  return path;
}

std::optional<std::string> TMsiHandler::ResolveDirectoryPath(std::size_t entry) {
  std::optional<std::size_t> component =
      catalogue_[kComponentKey].FindFirst(catalogue_[kFileComponent].At(entry));
  if (!component) return std::nullopt;
  const std::string& directory_key = catalogue_[kComponentDirectory].At(*component);
  if (directory_key.empty()) return std::nullopt;
  return WalkDirectoryChain(directory_key);
}
