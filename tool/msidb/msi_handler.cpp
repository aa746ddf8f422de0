#include "msidb/msi_handler.h"

TMsiHandler::~TMsiHandler() {
  // A run that ends with an unexpected failure can leave a query open.
  if (record_ != 0) MsiCloseHandle(record_);
  if (view_ != 0) MsiCloseHandle(view_);
  MsiCloseHandle(database_);
}

bool TMsiHandler::OpenPackage(const std::string& path) {
  package_path_ = path;
  return MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_READONLY, &database_) == ERROR_SUCCESS;
}

bool TMsiHandler::OpenView(const std::string& sql) {
  view_ = 0;
  return MsiDatabaseOpenViewA(database_, sql.c_str(), &view_) == ERROR_SUCCESS;
}

bool TMsiHandler::ExecuteView(MSIHANDLE parameters) {
  return MsiViewExecute(view_, parameters) == ERROR_SUCCESS;
}

bool TMsiHandler::Query(const std::string& sql, MSIHANDLE parameters) {
  return OpenView(sql) && ExecuteView(parameters);
}

bool TMsiHandler::FetchRow() { return MsiViewFetch(view_, &record_) == ERROR_SUCCESS; }

int TMsiHandler::FieldInteger(unsigned field) const { return MsiRecordGetInteger(record_, field); }

std::string TMsiHandler::FieldString(unsigned field) const {
  // One request into a buffer kept for the usual short value; a longer one
  // is asked for again with room for all of it. The text returned holds
  // only its own bytes: a catalogue keeps hundreds of thousands of them.
  char buffer[256];
  std::uint32_t size = sizeof buffer;
  UINT status = MsiRecordGetStringA(record_, field, buffer, &size);
  if (status == ERROR_SUCCESS) return std::string(buffer, size);
  if (status != ERROR_MORE_DATA) return {};
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  size = static_cast<std::uint32_t>(text.size());
  status = MsiRecordGetStringA(record_, field, text.data(), &size);
  if (status != ERROR_SUCCESS) return {};
  text.resize(size);
  return text;
}

void TMsiHandler::CloseHandle(MSIHANDLE handle) {
  MsiCloseHandle(handle);
  if (handle == record_) record_ = 0;
  if (handle == view_) view_ = 0;
}
