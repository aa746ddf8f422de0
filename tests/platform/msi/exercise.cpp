#include "exercise.h"

#include <vector>

#include "msi/database.h"
#include "msi/idt.h"
#include "msi/msiquery.h"

namespace msi_test {

namespace {

// Counts a failing call on `handle` that recorded no reason.
void Explained(UINT status, MSIHANDLE handle, ExerciseSummary* summary) {
  if (status != ERROR_SUCCESS && MsiLastReason(handle).empty()) ++summary->unexplained_failures;
}

// Reads every field of `record` in every way the interface offers.
void ReadRecord(MSIHANDLE record, UINT fields, ExerciseSummary* summary) {
  std::vector<char> buffer(300);
  for (UINT field = 0; field <= fields + 1; ++field) {
    std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
    MsiRecordGetStringA(record, field, buffer.data(), &size);
    MsiRecordGetInteger(record, field);
    const UINT data_size = MsiRecordDataSize(record, field);
    std::uint32_t left = 0;
    const UINT sized = MsiRecordReadStream(record, field, nullptr, &left);
    Explained(sized, record, summary);
    if (sized != ERROR_SUCCESS) continue;
    std::uint64_t total = 0;
    while (total <= data_size) {
      std::uint32_t piece = static_cast<std::uint32_t>(buffer.size());
      const UINT read = MsiRecordReadStream(record, field, buffer.data(), &piece);
      Explained(read, record, summary);
      if (read != ERROR_SUCCESS) break;
      if (piece == 0) break;
      total += piece;
    }
  }
}

void ExerciseInterface(const std::string& path, const msi::Database* database,
                       ExerciseSummary* summary) {
  PMSIHANDLE database_handle;
  const UINT opened = MsiOpenDatabaseA(path.c_str(), MSIDBOPEN_READONLY, database_handle.out());
  Explained(opened, 0, summary);
  if (opened != ERROR_SUCCESS) return;
  summary->api_opened = true;
  const MSIHANDLE handle = database_handle.get();
  std::vector<std::string> names{"_Streams", "_Tables", "_Columns"};
  if (database != nullptr) {
    for (const msi::TableSchema& schema : database->tables()) names.push_back(schema.name);
  }
  for (const std::string& name : names) {
    const std::string sql = "select * from `" + name + "`";
    PMSIHANDLE view;
    const UINT prepared = MsiDatabaseOpenViewA(handle, sql.c_str(), view.out());
    Explained(prepared, handle, summary);
    if (prepared != ERROR_SUCCESS) continue;
    const UINT executed = MsiViewExecute(view.get(), 0);
    Explained(executed, view.get(), summary);
    if (executed != ERROR_SUCCESS) continue;
    while (true) {
      PMSIHANDLE record;
      const UINT fetched = MsiViewFetch(view.get(), record.out());
      if (fetched == ERROR_NO_MORE_ITEMS) break;
      Explained(fetched, view.get(), summary);
      if (fetched != ERROR_SUCCESS) break;
      ReadRecord(record.get(), 32, summary);
    }
  }
}

}  // namespace

ExerciseSummary ExercisePackage(const std::string& path) {
  ExerciseSummary summary;
  std::string error;
  auto database = msi::Database::Open(path, &error);
  if (database) {
    summary.opened = true;
    for (const msi::TableSchema& schema : database->tables()) {
      auto table = database->LoadTable(schema.name, &error);
      if (!table) continue;
      ++summary.tables;
      summary.rows += table->row_count();
      msi::RenderIdt(*table);
    }
    std::vector<char> buffer(4096);
    for (const msi::StreamInfo& stream : database->streams()) {
      auto layout = database->LocateStream(stream.entry, &error);
      bool ok = layout.has_value();
      for (std::uint64_t offset = 0; ok && offset < layout->size; offset += buffer.size()) {
        const std::size_t piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), layout->size - offset));
        ok = database->ReadStreamAt(*layout, offset, buffer.data(), piece);
      }
      ++(ok ? summary.streams_read : summary.streams_failed);
    }
  }
  ExerciseInterface(path, database.get(), &summary);
  return summary;
}

}  // namespace msi_test
