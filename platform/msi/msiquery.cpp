// The installer interface's functions over the engine's objects.
#include "msi/msiquery.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
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

// Hands `text` out in the buffer protocol of MsiRecordGetStringA.
UINT CopyText(const std::string& text, char* buffer, std::uint32_t* size) {
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

// Records `reason` as the last reason of `handle` and returns `status`.
UINT Fail(MSIHANDLE handle, UINT status, std::string reason) {
  Handles().SetReason(handle, std::move(reason));
  return status;
}

std::string FieldName(UINT field) { return "field " + std::to_string(field); }

// Finds a stream field's bytes on its first read. False, with a message,
// when the stream is missing or damaged.
bool PrepareStream(const Record& record, UINT number, RecordField* field, std::string* error) {
  if (field->layout) return true;
  if (!field->stream_entry) {
    *error = FieldName(number) + ": the package has no stream for it";
    return false;
  }
  if (!field->layout_failed) {
    field->layout = record.database()->LocateStream(*field->stream_entry, &field->layout_error);
    field->layout_failed = !field->layout;
  }
  if (!field->layout_failed) return true;
  *error = FieldName(number) + ": " +
           (field->layout_error.empty() ? "the stream cannot be read" : field->layout_error);
  return false;
}

}  // namespace

UINT MsiOpenDatabaseA(const char* path, const char* persist, MSIHANDLE* database) {
  Handles().SetReason(0, {});  // the reason of this open, whatever came before
  if (database == nullptr) return Fail(0, ERROR_INVALID_PARAMETER, "no handle place was given");
  *database = 0;
  if (path == nullptr) return Fail(0, ERROR_INVALID_PARAMETER, "no path was given");
  if (persist != MSIDBOPEN_READONLY) {
    return Fail(0, ERROR_INVALID_PARAMETER, "a package can only be opened read-only");
  }
  std::string error;
  auto opened = msi::Database::Open(path, &error);
  if (!opened) return Fail(0, ERROR_OPEN_FAILED, error.empty() ? "cannot be read" : error);
  *database = Handles().Add(std::move(opened));
  if (*database == 0) return Fail(0, ERROR_NOT_ENOUGH_MEMORY, "every handle is taken");
  return ERROR_SUCCESS;
}

UINT MsiDatabaseOpenViewA(MSIHANDLE database, const char* query, MSIHANDLE* view) {
  if (view == nullptr) return ERROR_INVALID_PARAMETER;
  *view = 0;
  auto opened = Handles().Get<const msi::Database>(database);
  if (!opened) return ERROR_INVALID_HANDLE;
  if (query == nullptr) return Fail(database, ERROR_INVALID_PARAMETER, "no query was given");
  unsigned status = ERROR_FUNCTION_FAILED;
  std::string error;
  auto prepared = msi::View::Prepare(std::move(opened), query, &status, &error);
  if (!prepared) return Fail(database, status, std::string(query) + ": " + error);
  *view = Handles().Add(std::shared_ptr<msi::View>(std::move(prepared)));
  if (*view == 0) return Fail(database, ERROR_NOT_ENOUGH_MEMORY, "every handle is taken");
  return ERROR_SUCCESS;
}

UINT MsiViewExecute(MSIHANDLE view, MSIHANDLE parameters) {
  auto prepared = Handles().Get<msi::View>(view);
  if (!prepared) return ERROR_INVALID_HANDLE;
  std::shared_ptr<Record> record;
  if (parameters != 0) {
    record = Handles().Get<Record>(parameters);
    if (!record) {
      return Fail(view, ERROR_INVALID_HANDLE,
                  "parameter handle " + std::to_string(parameters) + " is not an open record");
    }
  }
  std::string error;
  const UINT status = prepared->Execute(record.get(), &error);
  if (status != ERROR_SUCCESS) return Fail(view, status, error);
  return ERROR_SUCCESS;
}

UINT MsiViewFetch(MSIHANDLE view, MSIHANDLE* record) {
  if (record == nullptr) return ERROR_INVALID_PARAMETER;
  *record = 0;
  auto prepared = Handles().Get<msi::View>(view);
  if (!prepared) return ERROR_INVALID_HANDLE;
  std::shared_ptr<Record> fetched;
  std::string error;
  const UINT status = prepared->Fetch(&fetched, &error);
  if (status == ERROR_NO_MORE_ITEMS) return status;  // the end, not a failure
  if (status != ERROR_SUCCESS) return Fail(view, status, error);
  *record = Handles().Add(std::move(fetched));
  if (*record == 0) return Fail(view, ERROR_NOT_ENOUGH_MEMORY, "every handle is taken");
  return ERROR_SUCCESS;
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
  if (size == nullptr) return Fail(record, ERROR_INVALID_PARAMETER, "no size was given");
  const RecordField* value = held->field(field);
  return CopyText(value == nullptr ? std::string() : FieldText(*value), buffer, size);
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
  if (!value->stream_entry) {
    Fail(record, 0, FieldName(field) + ": the package has no stream for it");
    return 0;
  }
  // No stream can be larger than the file that holds it: a larger size is
  // the directory's error, and reads of that stream fail.
  const std::uint64_t declared = held->database()->StreamSize(*value->stream_entry);
  if (declared > held->database()->file_size() || declared > 0xFFFFFFFFu) {
    Fail(record, 0,
         FieldName(field) + ": the directory gives the stream " + std::to_string(declared) +
             " bytes, more than the file holds");
    return 0;
  }
  return static_cast<UINT>(declared);
}

UINT MsiRecordReadStream(MSIHANDLE record, UINT field, char* buffer, std::uint32_t* size) {
  auto held = Handles().Get<Record>(record);
  if (!held) return ERROR_INVALID_HANDLE;
  if (size == nullptr) return Fail(record, ERROR_INVALID_PARAMETER, "no size was given");
  RecordField* value = held->field(field);
  if (value == nullptr || value->kind == CellKind::kNull) {
    *size = 0;
    return ERROR_SUCCESS;
  }
  if (value->kind != CellKind::kStream) {
    return Fail(record, ERROR_DATATYPE_MISMATCH, FieldName(field) + " is not a stream");
  }
  std::string error;
  if (!PrepareStream(*held, field, value, &error)) {
    *size = 0;
    return Fail(record, ERROR_INVALID_DATA, error);
  }
  const std::uint64_t left = value->layout->size - value->position;
  if (buffer == nullptr) {
    *size = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, 0xFFFFFFFFu));
    return ERROR_SUCCESS;
  }
  const std::uint32_t count = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, *size));
  if (!held->database()->ReadStreamAt(*value->layout, value->position, buffer, count)) {
    *size = 0;
    return Fail(record, ERROR_INVALID_DATA,
                FieldName(field) + ": " + std::to_string(count) + " bytes at offset " +
                    std::to_string(value->position) + " of the stream cannot be read");
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
  if (target == nullptr) {
    return Fail(
        record, ERROR_INVALID_PARAMETER,
        FieldName(field) + " is past the record's " + std::to_string(held->count()) + " fields");
  }
  *target = RecordField{};
  if (value != nullptr && *value != '\0') {
    target->kind = CellKind::kString;
    target->own_text = value;
    target->owns_text = true;
  }
  return ERROR_SUCCESS;
}

UINT MsiGetLastReasonA(MSIHANDLE handle, char* buffer, std::uint32_t* size) {
  if (size == nullptr) return ERROR_INVALID_PARAMETER;
  const std::optional<std::string> reason = Handles().Reason(handle);
  if (!reason) return ERROR_INVALID_HANDLE;
  return CopyText(*reason, buffer, size);
}

UINT MsiCloseHandle(MSIHANDLE handle) {
  return Handles().Remove(handle) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
