#include "msi/table_schema.h"

#include "files/ascii.h"

namespace msi {

ColumnKind ColumnInfo::kind() const {
  switch (type & kColumnCategoryMask) {
    case kColumnString:
      return ColumnKind::kString;
    case kColumnBinary:
      return ColumnKind::kBinary;
    default:
      return ColumnKind::kInteger;
  }
}

unsigned ColumnInfo::width(unsigned ref_width) const {
  switch (type & kColumnCategoryMask) {
    case kColumnString:
      return ref_width;
    case kColumnInteger4:
      return 4;
    default:
      return 2;
  }
}

std::string ColumnInfo::IdtType() const {
  char letter = 'i';
  switch (kind()) {
    case ColumnKind::kString:
      letter = (type & kColumnLocalizable) != 0 ? 'l' : 's';
      break;
    case ColumnKind::kBinary:
      letter = 'v';
      break;
    case ColumnKind::kInteger:
      break;
  }
  if (nullable()) letter = files::ToUpperAscii(letter);
  return letter + std::to_string(type & kColumnSizeMask);
}

TableSchema TablesCatalogSchema() {
  return {kTablesCatalog, {{"Name", kColumnString | kColumnKey | 64}}, {}};
}

TableSchema ColumnsCatalogSchema() {
  return {kColumnsCatalog,
          {{"Table", kColumnString | kColumnKey | 64},
           {"Number", kColumnInteger2 | kColumnKey | 2},
           {"Name", kColumnString | 64},
           {"Type", kColumnInteger2 | 2}},
          {}};
}

TableSchema StreamsSchema() {
  return {kStreamsTable,
          {{"Name", kColumnString | kColumnKey | 62}, {"Data", kColumnBinary | kColumnNullable}},
          {}};
}

}  // namespace msi
