#include "msi/idt.h"

namespace msi {

std::string RenderIdt(const Table& table) {
  const auto& columns = table.columns();
  std::string text;
  auto end_line = [&text] { text += "\r\n"; };
  for (std::size_t c = 0; c < columns.size(); ++c) {
    if (c > 0) text += '\t';
    text += columns[c].name;
  }
  end_line();
  for (std::size_t c = 0; c < columns.size(); ++c) {
    if (c > 0) text += '\t';
    text += columns[c].IdtType();
  }
  end_line();
  text += table.name();
  for (const ColumnInfo& column : columns) {
    if (!column.key()) continue;
    text += '\t';
    text += column.name;
  }
  end_line();
  for (std::size_t r = 0; r < table.row_count(); ++r) {
    for (std::size_t c = 0; c < columns.size(); ++c) {
      if (c > 0) text += '\t';
      text += table.CellText(r, c);
    }
    end_line();
  }
  return text;
}

}  // namespace msi
