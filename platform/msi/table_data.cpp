#include "msi/table_data.h"

#include "files/byte_order.h"

namespace msi {

using files::LoadU16;
using files::LoadU24;
using files::LoadU32;

std::optional<std::int32_t> DecodeInteger(const ColumnInfo& column, std::uint32_t raw) {
  if (raw == 0) return std::nullopt;
  if (column.width(2) == 2) return static_cast<std::int16_t>(raw ^ 0x8000u);
  return static_cast<std::int32_t>(raw ^ 0x80000000u);
}

std::optional<TableData> DecodeTableStream(const TableSchema& schema, std::string_view bytes,
                                           const StringPool& strings, std::string* error) {
  TableData table;
  table.name = schema.name;
  table.columns = schema.columns;
  if (schema.columns.empty()) {
    *error = "table " + schema.name + " has no columns";
    return std::nullopt;
  }
  std::size_t row_size = 0;
  for (const ColumnInfo& column : schema.columns) row_size += column.width(strings.ref_width());
  if (bytes.size() % row_size != 0) {
    *error = "the stream of table " + schema.name + " is not a whole number of rows";
    return std::nullopt;
  }
  table.rows = bytes.size() / row_size;
  table.cells.resize(table.rows * schema.columns.size());
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  std::size_t offset = 0;
  for (std::size_t c = 0; c < schema.columns.size(); ++c) {
    const ColumnInfo& column = schema.columns[c];
    const unsigned width = column.width(strings.ref_width());
    const bool is_string = column.kind() == ColumnKind::kString;
    for (std::size_t r = 0; r < table.rows; ++r, offset += width) {
      std::uint32_t raw = 0;
      switch (width) {
        case 2:
          raw = LoadU16(data + offset);
          break;
        case 3:
          raw = LoadU24(data + offset);
          break;
        default:
          raw = LoadU32(data + offset);
          break;
      }
      if (is_string && !strings.Contains(raw)) {
        *error = "table " + schema.name + " refers to string " + std::to_string(raw) +
                 ", which the string pool does not hold";
        return std::nullopt;
      }
      table.cells[c * table.rows + r] = raw;
    }
  }
  return table;
}

}  // namespace msi
