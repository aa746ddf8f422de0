// A prepared query over one table: the columns it selects, its conditions,
// and where the fetching has got to.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "msi/database.h"
#include "msi/record.h"
#include "msi/sql_query.h"

namespace msi {

class View {
 public:
  // Parses `sql` and binds it to the database's table. Fails, with a status
  // and a message, for bad syntax, an unknown table or column, or a table
  // that cannot be read.
  static std::unique_ptr<View> Prepare(std::shared_ptr<const Database> database,
                                       std::string_view sql, unsigned* status, std::string* error);

  // Starts (or restarts) the row walk; `parameters` supplies the "?" values
  // (field 1 for the first), and may be null when there are none. Fails,
  // with a message, for a missing parameter record or a stream parameter.
  unsigned Execute(const Record* parameters, std::string* error);

  // The next matching row as a record; ERROR_NO_MORE_ITEMS after the last.
  // Fails, with a message, before Execute.
  unsigned Fetch(std::shared_ptr<Record>* record, std::string* error);

 private:
  struct BoundCondition {
    std::size_t column = 0;
    CellKind kind = CellKind::kNull;  // of the value: null, integer or string
    std::int32_t integer = 0;
    std::string text;
    bool matches_nothing = false;  // a text that no integer cell can equal
  };

  View(std::shared_ptr<const Database> database, Table table)
      : database_(std::move(database)), table_(std::move(table)) {}
  bool Matches(std::size_t row) const;

  std::shared_ptr<const Database> database_;
  Table table_;
  std::vector<std::size_t> selected_;
  std::vector<QueryCondition> conditions_;
  std::vector<BoundCondition> bound_;
  bool executed_ = false;
  std::size_t next_row_ = 0;
};

}  // namespace msi
