// Column and table descriptions as the catalog (_Tables, _Columns) gives
// them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace msi {

// Bits of a column's Type word (after the stored 0x8000 bias is removed).
inline constexpr std::uint16_t kColumnSizeMask = 0x00FF;
inline constexpr std::uint16_t kColumnLocalizable = 0x0200;
inline constexpr std::uint16_t kColumnCategoryMask = 0x0C00;
inline constexpr std::uint16_t kColumnInteger4 = 0x0000;
inline constexpr std::uint16_t kColumnInteger2 = 0x0400;
inline constexpr std::uint16_t kColumnBinary = 0x0800;
inline constexpr std::uint16_t kColumnString = 0x0C00;
inline constexpr std::uint16_t kColumnNullable = 0x1000;
inline constexpr std::uint16_t kColumnKey = 0x2000;

enum class ColumnKind { kInteger, kString, kBinary };

struct ColumnInfo {
  std::string name;
  std::uint16_t type = 0;

  ColumnKind kind() const;
  bool key() const { return (type & kColumnKey) != 0; }
  bool nullable() const { return (type & kColumnNullable) != 0; }
  // Bytes one cell takes in the table stream.
  unsigned width(unsigned ref_width) const;
  // The type in IDT notation: i2, I4, s72, S0, l255, L64, v0, V0.
  std::string IdtType() const;
};

struct TableSchema {
  std::string name;
  std::vector<ColumnInfo> columns;
  // Why the catalog's description of this table cannot be used; empty when
  // it can.
  std::string error;
};

// The fixed schemas of the catalog tables and of the stream list.
TableSchema TablesCatalogSchema();
TableSchema ColumnsCatalogSchema();
TableSchema StreamsSchema();

inline constexpr const char* kTablesCatalog = "_Tables";
inline constexpr const char* kColumnsCatalog = "_Columns";
inline constexpr const char* kStreamsTable = "_Streams";

}  // namespace msi
