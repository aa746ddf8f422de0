// The installer interface's functions over the engine's objects.
#include "msi/msiquery.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "msi/handle_table.h"

namespace {

using msi::CellKind;
using msi::Handles;
using msi::Record;
using msi::RecordField;

constexpr UINT kMaxRecordFields = 65535;

// A field's value as text: integers in decimal, streams and null as empty.
std::string FieldText(const RecordField& field) {
  switch (field.kind) {
    case CellKind::kInteger:
      return std::to_string(field.integer);
    case CellKind::kString:
      return std::string(field.text());
    case CellKind::kNull:
    case CellKind::kStream:
      break;
  }
  return {};
}

// Finds a stream field's bytes on its first read. False when the stream is
// missing or damaged.
bool PrepareStream(const Record& record, RecordField* field) {
  if (field->layout) return true;
  if (field->layout_failed || !field->stream_entry) return false;
  std::string error;
  field->layout = record.database()->LocateStream(*field->stream_entry, &error);
  field->layout_failed = !field->layout;
  return !field->layout_failed;
}

}  // namespace

UINT MsiOpenDatabaseA(const char* path, const char* persist, MSIHANDLE* database) {
  if (database == nullptr) return ERROR_INVALID_PARAMETER;
  *database = 0;
  if (path == nullptr || persist != MSIDBOPEN_READONLY) return ERROR_INVALID_PARAMETER;
  std::string error;
  auto opened = msi::Database::Open(path, &error);
  if (!opened) return ERROR_OPEN_FAILED;
  *database = Handles().Add(std::move(opened));
  return *database != 0 ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

UINT MsiDatabaseOpenViewA(MSIHANDLE database, const char* query, MSIHANDLE* view) {
  if (view == nullptr) return ERROR_INVALID_PARAMETER;
  *view = 0;
  auto opened = Handles().Get<const msi::Database>(database);
  if (!opened) return ERROR_INVALID_HANDLE;
  if (query == nullptr) return ERROR_INVALID_PARAMETER;
  unsigned status = ERROR_FUNCTION_FAILED;
  std::string error;
  auto prepared = msi::View::Prepare(std::move(opened), query, &status, &error);
  if (!prepared) return status;
  *view = Handles().Add(std::shared_ptr<msi::View>(std::move(prepared)));
  return *view != 0 ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

UINT MsiViewExecute(MSIHANDLE view, MSIHANDLE parameters) {
  auto prepared = Handles().Get<msi::View>(view);
  if (!prepared) return ERROR_INVALID_HANDLE;
  std::shared_ptr<Record> record;
  if (parameters != 0) {
    record = Handles().Get<Record>(parameters);
    if (!record) return ERROR_INVALID_HANDLE;
  }
  return prepared->Execute(record.get());
}

UINT MsiViewFetch(MSIHANDLE view, MSIHANDLE* record) {
  if (record == nullptr) return ERROR_INVALID_PARAMETER;
  *record = 0;
  auto prepared = Handles().Get<msi::View>(view);
  if (!prepared) return ERROR_INVALID_HANDLE;
  std::shared_ptr<Record> fetched;
  const UINT status = prepared->Fetch(&fetched);
  if (status != ERROR_SUCCESS) return status;
  *record = Handles().Add(std::move(fetched));
  return *record != 0 ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

int MsiRecordGetInteger(MSIHANDLE record, UINT field) {
  auto held = Handles().Get<Record>(record);
  if (!held) return MSI_NULL_INTEGER;
  const RecordField* value = held->field(field);
  if (value == nullptr) return MSI_NULL_INTEGER;
  if (value->kind == CellKind::kInteger) return value->integer;
  if (value->kind == CellKind::kString) {
    // A string field that spells a number reads as that number.
    const std::string text(value->text());
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (!text.empty() && *end == '\0' && errno == 0 && number > MSI_NULL_INTEGER &&
        number <= std::numeric_limits<int>::max()) {
      return static_cast<int>(number);
    }
  }
  return MSI_NULL_INTEGER;
}

UINT MsiRecordGetStringA(MSIHANDLE record, UINT field, char* buffer, std::uint32_t* size) {
  auto held = Handles().Get<Record>(record);
  if (!held) return ERROR_INVALID_HANDLE;
  if (size == nullptr) return ERROR_INVALID_PARAMETER;
  const RecordField* value = held->field(field);
  const std::string text = value == nullptr ? std::string() : FieldText(*value);
  const std::uint32_t room = *size;
  const std::uint32_t length =
      static_cast<std::uint32_t>(std::min<std::size_t>(text.size(), 0xFFFFFFFEu));
  *size = length;
  if (buffer == nullptr) return ERROR_SUCCESS;
  if (room == 0) return ERROR_MORE_DATA;
  const std::uint32_t copied = std::min(length, room - 1);
  std::memcpy(buffer, text.data(), copied);
  buffer[copied] = '\0';
  return copied < length ? ERROR_MORE_DATA : ERROR_SUCCESS;
}

UINT MsiRecordDataSize(MSIHANDLE record, UINT field) {
  auto held = Handles().Get<Record>(record);
  if (!held) return 0;
  const RecordField* value = held->field(field);
  if (value == nullptr) return 0;
  switch (value->kind) {
    case CellKind::kNull:
      return 0;
    case CellKind::kInteger:
      return sizeof(std::int32_t);
    case CellKind::kString:
      return static_cast<UINT>(std::min<std::size_t>(value->text().size(), 0xFFFFFFFFu));
    case CellKind::kStream:
      break;
  }
  if (!value->stream_entry) return 0;
  // No stream can be larger than the file that holds it: a larger size is
  // the directory's error, and reads of that stream fail.
  const std::uint64_t declared = held->database()->StreamSize(*value->stream_entry);
  if (declared > held->database()->file_size() || declared > 0xFFFFFFFFu) return 0;
  return static_cast<UINT>(declared);
}

UINT MsiRecordReadStream(MSIHANDLE record, UINT field, char* buffer, std::uint32_t* size) {
  auto held = Handles().Get<Record>(record);
  if (!held) return ERROR_INVALID_HANDLE;
  if (size == nullptr) return ERROR_INVALID_PARAMETER;
  RecordField* value = held->field(field);
  if (value == nullptr || value->kind == CellKind::kNull) {
    *size = 0;
    return ERROR_SUCCESS;
  }
  if (value->kind != CellKind::kStream) return ERROR_DATATYPE_MISMATCH;
  if (!PrepareStream(*held, value)) {
    *size = 0;
    return ERROR_INVALID_DATA;
  }
  const std::uint64_t left = value->layout->size - value->position;
  if (buffer == nullptr) {
    *size = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, 0xFFFFFFFFu));
    return ERROR_SUCCESS;
  }
  const std::uint32_t count = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, *size));
  if (!held->database()->ReadStreamAt(*value->layout, value->position, buffer, count)) {
    *size = 0;
    return ERROR_INVALID_DATA;
  }
  value->position += count;
  *size = count;
  return ERROR_SUCCESS;
}

MSIHANDLE MsiCreateRecord(UINT fields) {
  if (fields > kMaxRecordFields) return 0;
  return Handles().Add(std::make_shared<Record>(nullptr, fields));
}

UINT MsiRecordSetStringA(MSIHANDLE record, UINT field, const char* value) {
  auto held = Handles().Get<Record>(record);
  if (!held) return ERROR_INVALID_HANDLE;
  RecordField* target = held->field(field);
  if (target == nullptr) return ERROR_INVALID_PARAMETER;
  *target = RecordField{};
  if (value != nullptr && *value != '\0') {
    target->kind = CellKind::kString;
    target->own_text = value;
    target->owns_text = true;
  }
  return ERROR_SUCCESS;
}

UINT MsiCloseHandle(MSIHANDLE handle) {
  return Handles().Remove(handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
