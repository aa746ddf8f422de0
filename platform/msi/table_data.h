// A table's cells as stored: column-major, one raw value per cell (a string
// id, a biased integer, or a binary flag), checked against the string pool.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "msi/string_pool.h"
#include "msi/table_schema.h"

namespace msi {

struct TableData {
  std::string name;
  std::vector<ColumnInfo> columns;
  std::size_t rows = 0;
  std::vector<std::uint32_t> cells;  // cell (row r, column c) at c * rows + r
  bool stream_list = false;          // the _Streams view: cells are stream indexes

  std::uint32_t Raw(std::size_t row, std::size_t column) const {
    return cells[column * rows + row];
  }
};

// Decodes a table stream. Fails when the stream's size is not a whole
// number of rows or a string cell names an id the pool does not have.
std::optional<TableData> DecodeTableStream(const TableSchema& schema, std::string_view bytes,
                                           const StringPool& strings, std::string* error);

// The value of an integer cell, or nothing for null.
std::optional<std::int32_t> DecodeInteger(const ColumnInfo& column, std::uint32_t raw);

}  // namespace msi
