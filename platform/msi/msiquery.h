// The installer database interface: a read-only engine for Windows Installer
// packages, offered through the platform's handle-based functions.
//
// Handles are non-zero unsigned 32-bit values; 0 means "no handle". Every
// function returns ERROR_SUCCESS (0) on success and another status on
// failure. Strings cross the interface as UTF-8, converted from the
// package's codepage when the package is read.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <utility>

using MSIHANDLE = std::uint32_t;
using UINT = unsigned int;

inline constexpr UINT ERROR_SUCCESS = 0;
inline constexpr UINT ERROR_INVALID_HANDLE = 6;
inline constexpr UINT ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr UINT ERROR_INVALID_DATA = 13;
inline constexpr UINT ERROR_INVALID_PARAMETER = 87;
inline constexpr UINT ERROR_OPEN_FAILED = 110;
inline constexpr UINT ERROR_MORE_DATA = 234;
inline constexpr UINT ERROR_NO_MORE_ITEMS = 259;
inline constexpr UINT ERROR_FUNCTION_FAILED = 1627;
inline constexpr UINT ERROR_BAD_QUERY_SYNTAX = 1615;
inline constexpr UINT ERROR_INVALID_HANDLE_STATE = 1609;
inline constexpr UINT ERROR_DATATYPE_MISMATCH = 1629;

// A null integer field reads as the most negative 32-bit value.
inline constexpr int MSI_NULL_INTEGER = std::numeric_limits<int>::min();

// Persist mode for MsiOpenDatabaseA: the only mode offered is read-only.
inline constexpr const char* MSIDBOPEN_READONLY = nullptr;

// Opens the package at `path` read-only. Fails for anything that is not an
// installer database. `persist` must be MSIDBOPEN_READONLY.
UINT MsiOpenDatabaseA(const char* path, const char* persist, MSIHANDLE* database);

// Prepares a view for an SQL query: SELECT of * or a column list FROM one
// table, with an optional WHERE of `column = ?`, `'text'` or a number,
// joined by AND.
UINT MsiDatabaseOpenViewA(MSIHANDLE database, const char* query, MSIHANDLE* view);

// Executes a prepared view; `parameters` is a record whose fields take the
// places of the "?" markers in order, or 0 when there are none.
UINT MsiViewExecute(MSIHANDLE view, MSIHANDLE parameters);

// Fetches the next row of an executed view as a new record.
// Returns ERROR_NO_MORE_ITEMS after the last row.
UINT MsiViewFetch(MSIHANDLE view, MSIHANDLE* record);

// Field numbers count from 1. Field 0 and fields past the end read as null.
int MsiRecordGetInteger(MSIHANDLE record, UINT field);

// Copies the field as text into `buffer`, NUL-terminated. `*size` holds the
// buffer's room in characters on entry and the text's length (without the
// NUL) on return. When the room is too small the text is cut to fit,
// ERROR_MORE_DATA is returned, and `*size` reports the length needed.
// With a null `buffer` only the length is reported.
UINT MsiRecordGetStringA(MSIHANDLE record, UINT field, char* buffer, std::uint32_t* size);

// Size of a field: bytes of a stream, characters of a string, 4 for an
// integer, 0 for a null field.
UINT MsiRecordDataSize(MSIHANDLE record, UINT field);

// Reads the next `*size` bytes of a stream field into `buffer`, going on
// where the previous read of that field stopped; `*size` receives the count
// read (0 at the end). With a null `buffer`, `*size` receives the bytes left.
UINT MsiRecordReadStream(MSIHANDLE record, UINT field, char* buffer, std::uint32_t* size);

// A record of `fields` null fields, for parameters. Returns 0 on failure.
MSIHANDLE MsiCreateRecord(UINT fields);

UINT MsiRecordSetStringA(MSIHANDLE record, UINT field, const char* value);

// Closing 0 or an unknown handle does nothing harmful.
UINT MsiCloseHandle(MSIHANDLE handle);

// Why the last failing call on `handle` failed, as one line of text naming
// what was wrong (which table, stream, sector or chain), in the buffer
// protocol of MsiRecordGetStringA; empty when no call on it has failed. A
// call that fails records its reason in place of the one before, a call that
// succeeds leaves it. Handle 0 gives the reason of the process's last
// MsiOpenDatabaseA, which hands out no handle when it fails (empty when it
// succeeded). A handle that is not open gives ERROR_INVALID_HANDLE.
UINT MsiGetLastReasonA(MSIHANDLE handle, char* buffer, std::uint32_t* size);

// Owns one handle and closes it when it goes, as msi.h's PMSIHANDLE does;
// move-only. Any handle fits: database, view or record.
class PMSIHANDLE {
 public:
  PMSIHANDLE() = default;
  explicit PMSIHANDLE(MSIHANDLE handle) : handle_(handle) {}
  PMSIHANDLE(PMSIHANDLE&& other) noexcept : handle_(std::exchange(other.handle_, 0)) {}
  PMSIHANDLE& operator=(PMSIHANDLE&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, 0));
    return *this;
  }
  PMSIHANDLE(const PMSIHANDLE&) = delete;
  PMSIHANDLE& operator=(const PMSIHANDLE&) = delete;
  ~PMSIHANDLE() { reset(); }

  MSIHANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != 0; }
  // For a function that hands out a handle: closes the one held and gives
  // the place where the new one goes.
  MSIHANDLE* out() {
    reset();
    return &handle_;
  }
  // Closes the handle held (if any) and takes `handle` in its place.
  void reset(MSIHANDLE handle = 0) {
    const MSIHANDLE old = std::exchange(handle_, handle);
    if (old != 0) MsiCloseHandle(old);
  }
  // Gives the handle up without closing it.
  MSIHANDLE release() { return std::exchange(handle_, 0); }

 private:
  MSIHANDLE handle_ = 0;
};

// MsiGetLastReasonA's text whole; empty for a handle that is not open.
inline std::string MsiLastReason(MSIHANDLE handle) {
  std::uint32_t size = 0;
  if (MsiGetLastReasonA(handle, nullptr, &size) != ERROR_SUCCESS || size == 0) return {};
  std::string reason(size + 1, '\0');
  std::uint32_t room = size + 1;
  const UINT status = MsiGetLastReasonA(handle, reason.data(), &room);
  if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return {};
  reason.resize(room < size ? room : size);  // another failure may have come between
  return reason;
}
