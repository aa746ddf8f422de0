#include "msidb/query.h"

#include <cstdint>

Query::Query(MSIHANDLE database, const char* sql, const char* parameter) {
  if (MsiDatabaseOpenViewA(database, sql, view_.out()) != ERROR_SUCCESS) return;
  PMSIHANDLE parameters;
  if (parameter != nullptr) {
    parameters.reset(MsiCreateRecord(1));
    MsiRecordSetStringA(parameters.get(), 1, parameter);
  }
  ok_ = MsiViewExecute(view_.get(), parameters.get()) == ERROR_SUCCESS;
}

bool Query::Next() { return ok_ && MsiViewFetch(view_.get(), record_.out()) == ERROR_SUCCESS; }

std::string Query::Text(unsigned field) const {
  std::uint32_t size = 0;
  if (MsiRecordGetStringA(record_.get(), field, nullptr, &size) != ERROR_SUCCESS) return {};
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  size = static_cast<std::uint32_t>(text.size());
  if (MsiRecordGetStringA(record_.get(), field, text.data(), &size) != ERROR_SUCCESS) return {};
  text.resize(size);
  return text;
}
