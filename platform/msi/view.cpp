#include "msi/view.h"

#include <algorithm>
#include <charconv>

#include "msi/msiquery.h"

namespace msi {

namespace {

std::optional<std::int32_t> ParseDecimal(std::string_view text) {
  std::int32_t value = 0;
  auto [ptr, status] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || status != std::errc() || ptr != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::unique_ptr<View> View::Prepare(std::shared_ptr<const Database> database, std::string_view sql,
                                    unsigned* status, std::string* error) {
  auto query = ParseQuery(sql, error);
  if (!query) {
    *status = ERROR_BAD_QUERY_SYNTAX;
    return nullptr;
  }
  const bool known = query->table == kStreamsTable || query->table == kTablesCatalog ||
                     query->table == kColumnsCatalog ||
                     std::any_of(database->tables().begin(), database->tables().end(),
                                 [&](const TableSchema& s) { return s.name == query->table; });
  if (!known) {
    *error = "no table " + query->table;
    *status = ERROR_BAD_QUERY_SYNTAX;
    return nullptr;
  }
  auto table = database->LoadTable(query->table, error);
  if (!table) {
    *status = ERROR_INVALID_DATA;
    return nullptr;
  }
  std::unique_ptr<View> view(new View(std::move(database), std::move(*table)));
  if (query->all_columns) {
    for (std::size_t c = 0; c < view->table_.columns().size(); ++c) view->selected_.push_back(c);
  } else {
    for (const std::string& name : query->columns) {
      auto column = view->table_.FindColumn(name);
      if (!column) {
        *error = "no column " + name + " in table " + query->table;
        *status = ERROR_BAD_QUERY_SYNTAX;
        return nullptr;
      }
      view->selected_.push_back(*column);
    }
  }
  for (const QueryCondition& condition : query->conditions) {
    auto column = view->table_.FindColumn(condition.column);
    if (!column) {
      *error = "no column " + condition.column + " in table " + query->table;
      *status = ERROR_BAD_QUERY_SYNTAX;
      return nullptr;
    }
    if (view->table_.columns()[*column].kind() == ColumnKind::kBinary) {
      *error = "a binary column cannot be compared";
      *status = ERROR_BAD_QUERY_SYNTAX;
      return nullptr;
    }
  }
  view->conditions_ = std::move(query->conditions);
  *status = ERROR_SUCCESS;
  return view;
}

unsigned View::Execute(const Record* parameters, std::string* error) {
  executed_ = false;
  bound_.clear();
  for (const QueryCondition& condition : conditions_) {
    BoundCondition bound;
    bound.column = *table_.FindColumn(condition.column);
    switch (condition.operand) {
      case QueryCondition::Operand::kText:
        bound.kind = condition.text.empty() ? CellKind::kNull : CellKind::kString;
        bound.text = condition.text;
        break;
      case QueryCondition::Operand::kNumber:
        bound.kind = CellKind::kInteger;
        bound.integer = condition.number;
        break;
      case QueryCondition::Operand::kParameter: {
        if (parameters == nullptr) {
          *error = "the query has a ? but no parameter record was given";
          return ERROR_INVALID_PARAMETER;
        }
        const RecordField* field = parameters->field(condition.parameter);
        if (field == nullptr || field->kind == CellKind::kNull) break;
        if (field->kind == CellKind::kInteger) {
          bound.kind = CellKind::kInteger;
          bound.integer = field->integer;
        } else if (field->kind == CellKind::kString) {
          bound.kind = CellKind::kString;
          bound.text = std::string(field->text());
        } else {
          *error = "parameter " + std::to_string(condition.parameter) + " is a stream";
          return ERROR_INVALID_PARAMETER;
        }
        break;
      }
    }
    // Bring the value to the column's kind: a number compared with a string
    // column compares as its decimal text, a text compared with an integer
    // column as the number it spells (and matches nothing otherwise).
    const ColumnKind column_kind = table_.columns()[bound.column].kind();
    if (column_kind == ColumnKind::kString && bound.kind == CellKind::kInteger) {
      bound.kind = CellKind::kString;
      bound.text = std::to_string(bound.integer);
    } else if (column_kind == ColumnKind::kInteger && bound.kind == CellKind::kString) {
      auto number = ParseDecimal(bound.text);
      bound.kind = CellKind::kInteger;
      bound.integer = number.value_or(0);
      bound.matches_nothing = !number;
    }
    bound_.push_back(std::move(bound));
  }
  executed_ = true;
  next_row_ = 0;
  return ERROR_SUCCESS;
}

bool View::Matches(std::size_t row) const {
  for (const BoundCondition& condition : bound_) {
    if (condition.matches_nothing) return false;
    const CellValue cell = table_.Cell(row, condition.column);
    switch (condition.kind) {
      case CellKind::kNull:
        if (cell.kind != CellKind::kNull) return false;
        break;
      case CellKind::kString:
        if (cell.kind != CellKind::kString || cell.text != condition.text) return false;
        break;
      case CellKind::kInteger:
        if (cell.kind != CellKind::kInteger || cell.integer != condition.integer) return false;
        break;
      case CellKind::kStream:
        return false;  // never bound
    }
  }
  return true;
}

unsigned View::Fetch(std::shared_ptr<Record>* record, std::string* error) {
  if (!executed_) {
    *error = "the view was fetched before it was executed";
    return ERROR_FUNCTION_FAILED;
  }
  while (next_row_ < table_.row_count() && !Matches(next_row_)) ++next_row_;
  if (next_row_ >= table_.row_count()) return ERROR_NO_MORE_ITEMS;
  const std::size_t row = next_row_++;
  auto fetched = std::make_shared<Record>(database_, selected_.size());
  for (std::size_t i = 0; i < selected_.size(); ++i) {
    CellValue cell = table_.Cell(row, selected_[i]);
    RecordField* field = fetched->field(i + 1);
    field->kind = cell.kind;
    field->integer = cell.integer;
    field->shared_text = cell.text;
    field->stream_entry = cell.stream_entry;
  }
  *record = std::move(fetched);
  return ERROR_SUCCESS;
}

}  // namespace msi
