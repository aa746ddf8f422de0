// Tables as IDT text, the installer's own tab-separated export format:
// column names, column types, the table name with its key columns, then one
// line per row in stored order; every line ends in CR LF. Values are written
// raw (a TAB or line break inside a value is not escaped), a binary cell as
// its stream name, null as empty.
#pragma once

#include <string>

#include "msi/database.h"

namespace msi {

std::string RenderIdt(const Table& table);

}  // namespace msi
