#include "msi/stream_seek.h"

#include "msi/handle_table.h"

UINT MsiRecordSeekStream(MSIHANDLE record, UINT field, std::uint64_t offset) {
  auto held = msi::Handles().Get<msi::Record>(record);
  if (!held) return ERROR_INVALID_HANDLE;
  msi::RecordField* value = held->field(field);
  if (value == nullptr || value->kind != msi::CellKind::kStream) return ERROR_DATATYPE_MISMATCH;
  if (!value->layout) {
    if (value->layout_failed || !value->stream_entry) return ERROR_INVALID_DATA;
    // The reason stays with the field, for the reads that follow to report.
    value->layout = held->database()->LocateStream(*value->stream_entry, &value->layout_error);
    value->layout_failed = !value->layout;
    if (value->layout_failed) return ERROR_INVALID_DATA;
  }
  if (offset > value->layout->size) return ERROR_INVALID_PARAMETER;
  value->position = offset;
  return ERROR_SUCCESS;
}
