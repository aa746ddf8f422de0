// The summary information of an installer package (the \x05SummaryInformation
// property set), offered through the platform's handle-based functions and
// reduced to reading: the codepage, texts, integers and file times of its
// one section.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "msi/msiquery.h"

// A file time: 100-nanosecond intervals since 1601-01-01, in two halves.
struct FILETIME {
  std::uint32_t dwLowDateTime = 0;
  std::uint32_t dwHighDateTime = 0;
};

// Property types that the functions report.
inline constexpr UINT VT_EMPTY = 0;
inline constexpr UINT VT_I2 = 2;
inline constexpr UINT VT_I4 = 3;
inline constexpr UINT VT_LPSTR = 30;
inline constexpr UINT VT_FILETIME = 64;

inline constexpr UINT ERROR_UNKNOWN_PROPERTY = 1608;

// Property ids of the summary information.
inline constexpr UINT PID_CODEPAGE = 1;
inline constexpr UINT PID_TITLE = 2;
inline constexpr UINT PID_SUBJECT = 3;
inline constexpr UINT PID_AUTHOR = 4;
inline constexpr UINT PID_KEYWORDS = 5;
inline constexpr UINT PID_COMMENTS = 6;
inline constexpr UINT PID_TEMPLATE = 7;
inline constexpr UINT PID_LASTAUTHOR = 8;
inline constexpr UINT PID_REVNUMBER = 9;
inline constexpr UINT PID_LASTPRINTED = 11;
inline constexpr UINT PID_CREATE_DTM = 12;
inline constexpr UINT PID_LASTSAVE_DTM = 13;
inline constexpr UINT PID_PAGECOUNT = 14;
inline constexpr UINT PID_WORDCOUNT = 15;
inline constexpr UINT PID_CHARCOUNT = 16;
inline constexpr UINT PID_APPNAME = 18;
inline constexpr UINT PID_SECURITY = 19;

// Bits of the Word Count property: how the package's source files lie.
inline constexpr int msidbSumInfoSourceTypeSFN = 1;         // short file names
inline constexpr int msidbSumInfoSourceTypeCompressed = 2;  // files in cabinets
inline constexpr int msidbSumInfoSourceTypeAdminImage = 4;  // an administrative image

// Opens the summary information of the package behind `database`, or, when
// `database` is 0, of the package file at `path`. `update_count` must be 0:
// the summary is read-only. A package without the stream gives a summary in
// which every property is empty; a stream that is not a sound property set
// fails with ERROR_INVALID_DATA.
UINT MsiGetSummaryInformationA(MSIHANDLE database, const char* path, UINT update_count,
                               MSIHANDLE* summary);

// Reads property `property` (1 to 19). `*type` receives its type: VT_EMPTY
// for a property the package does not hold, VT_I2 or VT_I4 with the value in
// `*integer`, VT_FILETIME with the value in `*time`, or VT_LPSTR with the
// text copied to `buffer` as MsiRecordGetStringA copies a field (UTF-8,
// NUL-terminated, `*size` the room on entry and the length on return,
// ERROR_MORE_DATA when cut). Any of the out arguments may be null when the
// caller does not want that part.
UINT MsiSummaryInfoGetPropertyA(MSIHANDLE summary, UINT property, UINT* type, int* integer,
                                FILETIME* time, char* buffer, std::uint32_t* size);

// The number of properties the summary holds.
UINT MsiSummaryInfoGetPropertyCount(MSIHANDLE summary, UINT* count);

namespace msi {

// One property of a summary.
struct SummaryProperty {
  UINT type = VT_EMPTY;
  int integer = 0;
  std::uint64_t time = 0;
  std::string text;  // UTF-8
};

// A parsed summary information stream: the properties of ids 1 to 19 that
// it holds, by id. Properties of other types are left out.
class SummaryInfo {
 public:
  const SummaryProperty* Find(UINT property) const;
  std::size_t count() const { return properties_.size(); }

  // Parses the bytes of a property set. Every offset, count and length is
  // checked against the stream; nothing is allocated from a declared size.
  // Texts are decoded from the set's own codepage (property 1). Fails, with
  // a message in `error`, for bytes that are not a sound property set.
  static std::optional<SummaryInfo> Parse(std::string_view bytes, std::string* error);

 private:
  std::map<UINT, SummaryProperty> properties_;
};

}  // namespace msi
