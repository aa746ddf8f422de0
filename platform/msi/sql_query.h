// The SQL that the database understands:
//   SELECT * | column[, column...] FROM table
//     [WHERE column = ? | 'text' | number [AND ...]]
// Names are bare or in backticks; keywords in any case.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace msi {

struct QueryCondition {
  enum class Operand { kParameter, kText, kNumber };
  std::string column;
  Operand operand = Operand::kParameter;
  std::string text;         // kText
  std::int32_t number = 0;  // kNumber
  unsigned parameter = 0;   // kParameter: 1 for the first "?", and so on
};

struct SelectQuery {
  bool all_columns = false;
  std::vector<std::string> columns;
  std::string table;
  std::vector<QueryCondition> conditions;
};

// Parses `sql`; fails with a message in `error` for anything outside the
// grammar above.
std::optional<SelectQuery> ParseQuery(std::string_view sql, std::string* error);

}  // namespace msi
