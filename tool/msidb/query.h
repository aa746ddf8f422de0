// A query of its own over the open package, beside the handler's current
// one, so that queries nest: the view and each fetched record are owned and
// closed when the query goes.
#pragma once

#include <string>

#include "msi/msiquery.h"

class Query {
 public:
  // Runs `sql`, with `parameter` as its one "?" value when given; ok() is
  // false (a table without rows) when it fails.
  Query(MSIHANDLE database, const char* sql, const char* parameter = nullptr);
  bool ok() const { return ok_; }
  // Fetches the next row; false at the end.
  bool Next();

  int Integer(unsigned field) const { return MsiRecordGetInteger(record_.get(), field); }
  // The whole text of a field; a null field is empty.
  std::string Text(unsigned field) const;
  unsigned DataSize(unsigned field) const { return MsiRecordDataSize(record_.get(), field); }

 private:
  PMSIHANDLE view_;
  PMSIHANDLE record_;
  bool ok_ = false;
};
