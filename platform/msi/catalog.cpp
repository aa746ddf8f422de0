#include "msi/catalog.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string_view>

namespace msi {

namespace {

struct ColumnRow {
  std::int32_t number = 0;
  ColumnInfo info;
};

// Why a column's type cannot be used, or empty.
std::string TypeProblem(std::uint16_t type) {
  const std::uint16_t category = type & kColumnCategoryMask;
  const unsigned size = type & kColumnSizeMask;
  if (category == kColumnInteger2 && size != 2)
    return "a 2-byte integer column of size " + std::to_string(size);
  if (category == kColumnInteger4 && size != 4)
    return "a 4-byte integer column of size " + std::to_string(size);
  return {};
}

}  // namespace

std::vector<TableSchema> ReadCatalog(const TableData& tables, const TableData& columns,
                                     const StringPool& strings) {
  // Columns by table name. The catalog's own columns: Table, Number, Name, Type.
  std::map<std::string_view, std::vector<ColumnRow>> by_table;
  std::map<std::string_view, std::string> problems;
  for (std::size_t r = 0; r < columns.rows; ++r) {
    const std::string_view table = strings.Get(columns.Raw(r, 0));
    const auto number = DecodeInteger(columns.columns[1], columns.Raw(r, 1));
    const auto type = DecodeInteger(columns.columns[3], columns.Raw(r, 3));
    if (!number || !type) {
      problems[table] = "a column without a number or a type";
      continue;
    }
    ColumnRow row;
    row.number = *number;
    row.info.name = std::string(strings.Get(columns.Raw(r, 2)));
    row.info.type = static_cast<std::uint16_t>(*type);
    by_table[table].push_back(std::move(row));
  }

  std::vector<TableSchema> schemas;
  std::set<std::string_view> seen;
  for (std::size_t r = 0; r < tables.rows; ++r) {
    const std::string_view name = strings.Get(tables.Raw(r, 0));
    if (name.empty() || !seen.insert(name).second) continue;
    TableSchema schema;
    schema.name = std::string(name);
    auto problem = problems.find(name);
    auto found = by_table.find(name);
    if (problem != problems.end()) {
      schema.error = problem->second;
    } else if (found == by_table.end()) {
      schema.error = "no columns";
    } else {
      std::vector<ColumnRow>& rows = found->second;
      std::stable_sort(rows.begin(), rows.end(),
                       [](const ColumnRow& a, const ColumnRow& b) { return a.number < b.number; });
      for (std::size_t i = 0; i < rows.size() && schema.error.empty(); ++i) {
        if (rows[i].number != static_cast<std::int32_t>(i + 1)) {
          schema.error = "columns not numbered 1.." + std::to_string(rows.size());
        } else {
          schema.error = TypeProblem(rows[i].info.type);
        }
        schema.columns.push_back(rows[i].info);
      }
    }
    if (!schema.error.empty()) schema.error = "table " + schema.name + ": " + schema.error;
    schemas.push_back(std::move(schema));
  }
  return schemas;
}

}  // namespace msi
