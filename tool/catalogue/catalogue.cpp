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
  struct TableColumns {
    const char* sql;
    std::vector<std::pair<unsigned, CatalogueColumn>> fields;  // field -> column
    bool file_numbers;  // the File table's Attributes and Sequence too
  };
  const TableColumns tables[] = {
      {"select * from `File`", {{1, kFileKey}, {2, kFileComponent}, {3, kFileName}}, true},
      {"select * from `Component`", {{1, kComponentKey}, {3, kComponentDirectory}}, false},
      {"select * from `Directory`",
       {{1, kDirectoryKey}, {2, kDirectoryParent}, {3, kDirectoryDefault}},
       false},
  };
  std::vector<FileNumbers> numbers;
  for (const auto& table : tables) {
    if (Query(table.sql, 0)) {
      while (FetchRow()) {
        for (const auto& [field, column] : table.fields)
          catalogue_[column].Append(FieldString(field));
        if (table.file_numbers) {
          numbers.push_back({OrZero(FieldInteger(kFileAttributesField)),
                             OrZero(FieldInteger(kFileSequenceField))});
        }
        CloseHandle(record_);
      }
    }
    CloseHandle(view_);
  }
  files_ = PackageFiles(catalogue_, std::move(numbers));
}
