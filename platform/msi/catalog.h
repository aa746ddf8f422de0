// The schema of every table, from the decoded _Tables and _Columns streams.
#pragma once

#include <string>
#include <vector>

#include "msi/string_pool.h"
#include "msi/table_data.h"
#include "msi/table_schema.h"

namespace msi {

// One schema per _Tables row, in _Tables order (a repeated name counts
// once). A table whose columns are unusable (missing, numbered other than
// 1..n, an impossible type) keeps its place with `error` set.
std::vector<TableSchema> ReadCatalog(const TableData& tables, const TableData& columns,
                                     const StringPool& strings);

}  // namespace msi
