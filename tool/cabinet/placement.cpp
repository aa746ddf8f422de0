// The last stage of `x`: every extracted file moves from the target folder,
// where it lies under its File key, to its place in the tree.
#include <sys/stat.h>

#include <cstdio>
#include <unordered_set>

#include "cabinet/safe_names.h"
#include "catalogue/names.h"
#include "console/console.h"
#include "console/verbose.h"
#include "files/files.h"
#include "msidb/msi_handler.h"

namespace {

void WriteVerbose(const std::string& text) {
  if (Verbose) ConsoleLine(text);
}

// Only a file that decompression wrote is moved: a folder or link of the
// user's that stands under a File key's name stays where it is.
bool IsPlainFile(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Moves a file; fails when the destination exists.
bool MoveFileNoReplace(const std::string& from, const std::string& to) {
  struct stat info {};
  if (!IsPlainFile(from) || lstat(to.c_str(), &info) == 0) return false;
  return std::rename(from.c_str(), to.c_str()) == 0;
}

// Moves a file over whatever file stands at the destination.
void MoveFileReplacing(const std::string& from, const std::string& to) {
  if (IsPlainFile(from)) std::rename(from.c_str(), to.c_str());
}

}  // namespace

void TMsiHandler::MoveExtractedFile(const std::string& key, const std::string& target) {
  const std::string from = target_folder_ + key;
  const std::string to = target_folder_ + target;
  if (MoveFileNoReplace(from, to)) {
    WriteVerbose(key + " -> " + target + " renaming");
    return;
  }
  WriteVerbose(key + " -> " + target + " replaceing");
  MoveFileReplacing(from, to);
}

void TMsiHandler::PlaceFiles() {
  const std::size_t entries = catalogue_[kFileComponent].Count();
  std::size_t placed = 0;
  // Folders already made in this run are not walked again.
  std::unordered_set<std::string> folders_made;
  for (std::size_t entry = 0; entry < catalogue_[kSelectedPath].Count(); ++entry) {
    const std::string& path = catalogue_[kSelectedPath].At(entry);
    if (path.empty()) continue;
    ++placed;
    const std::string& key = catalogue_[kFileKey].At(entry);
    const std::string name = LongFileName(catalogue_[kFileName].At(entry));
    // Reported when extraction began; such an entry never reaches the disk.
    if (!IsSafeFileName(key) || !IsSafeTargetPath(path, name)) continue;
    if (folders_made.insert(path).second) files::MakeFolderChain(target_folder_ + path);
    MoveExtractedFile(key, path + name);
  }
  ConsoleLine(std::to_string(placed) + "/" + std::to_string(entries) + " files");
}
