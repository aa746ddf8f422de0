// Loading the File, Component and Directory tables into the catalogue store,
// and the model of the package's files built from them.
#include "msidb/msi_handler.h"

namespace {

// The File table's Attributes and Sequence fields.
constexpr unsigned kFileAttributesField = 7;
constexpr unsigned kFileSequenceField = 8;

int OrZero(int value) { return value == MSI_NULL_INTEGER ? 0 : value; }

}  // namespace

void TMsiHandler::LoadCatalogue() {
  std::vector<FileNumbers> numbers;
  if (Query("select * from `File`", 0)) {
    while (FetchRow()) {
      catalogue_[kFileKey].Append(FieldString(1));
      catalogue_[kFileComponent].Append(FieldString(2));
      catalogue_[kFileName].Append(FieldString(3));
      numbers.push_back(
          {OrZero(FieldInteger(kFileAttributesField)), OrZero(FieldInteger(kFileSequenceField))});
      CloseHandle(record_);
    }
  }
  CloseHandle(view_);
  if (Query("select * from `Component`", 0)) {
    while (FetchRow()) {
      catalogue_[kComponentKey].Append(FieldString(1));
      catalogue_[kComponentDirectory].Append(FieldString(3));
      CloseHandle(record_);
    }
  }
  CloseHandle(view_);
  if (Query("select * from `Directory`", 0)) {
    while (FetchRow()) {
      catalogue_[kDirectoryKey].Append(FieldString(1));
      catalogue_[kDirectoryParent].Append(FieldString(2));
      catalogue_[kDirectoryDefault].Append(FieldString(3));
      CloseHandle(record_);
    }
  }
  CloseHandle(view_);
  files_ = PackageFiles(catalogue_, std::move(numbers));
}

std::optional<std::string> TMsiHandler::ResolveDirectoryPath(std::size_t entry) const {
  if (entry >= files_.size() || files_.folder(entry) == DirectoryTree::kNoNode) return std::nullopt;
  return files_.tree().Path(files_.folder(entry));
}
