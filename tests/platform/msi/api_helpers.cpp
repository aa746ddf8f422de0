#include "api_helpers.h"

namespace msi_test {

std::string FieldString(MSIHANDLE record, UINT field) {
  std::uint32_t size = 0;
  if (MsiRecordGetStringA(record, field, nullptr, &size) != ERROR_SUCCESS) return {};
  std::string text(size + 1, '\0');
  std::uint32_t room = size + 1;
  if (MsiRecordGetStringA(record, field, text.data(), &room) != ERROR_SUCCESS) return {};
  text.resize(room);
  return text;
}

std::optional<std::string> ReadStreamField(MSIHANDLE record, UINT field, std::uint32_t piece) {
  std::string bytes;
  std::string buffer(piece, '\0');
  while (true) {
    std::uint32_t size = piece;
    if (MsiRecordReadStream(record, field, buffer.data(), &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    if (size == 0) return bytes;
    bytes.append(buffer.data(), size);
  }
}

std::optional<std::vector<std::vector<std::string>>> QueryRows(MSIHANDLE database,
                                                               const std::string& sql, UINT fields,
                                                               MSIHANDLE parameters) {
  PMSIHANDLE view;
  if (MsiDatabaseOpenViewA(database, sql.c_str(), view.out()) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  if (MsiViewExecute(view.get(), parameters) != ERROR_SUCCESS) return std::nullopt;
  std::vector<std::vector<std::string>> rows;
  while (true) {
    PMSIHANDLE record;
    const UINT status = MsiViewFetch(view.get(), record.out());
    if (status == ERROR_NO_MORE_ITEMS) return rows;
    if (status != ERROR_SUCCESS) return std::nullopt;
    std::vector<std::string> row;
    for (UINT field = 1; field <= fields; ++field) row.push_back(FieldString(record.get(), field));
    rows.push_back(std::move(row));
  }
}

std::optional<std::string> ReadNamedStream(MSIHANDLE database, const std::string& name,
                                           std::uint32_t piece) {
  PMSIHANDLE view;
  if (MsiDatabaseOpenViewA(database, "select * from `_Streams` where Name=?", view.out()) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  PMSIHANDLE parameters(MsiCreateRecord(1));
  MsiRecordSetStringA(parameters.get(), 1, name.c_str());
  if (MsiViewExecute(view.get(), parameters.get()) != ERROR_SUCCESS) return std::nullopt;
  PMSIHANDLE record;
  if (MsiViewFetch(view.get(), record.out()) != ERROR_SUCCESS) return std::nullopt;
  return ReadStreamField(record.get(), 2, piece);
}

}  // namespace msi_test
