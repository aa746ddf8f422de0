// The summary information functions over the engine's database and its
// handle table.
#include "msi/summary_info.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "msi/database.h"
#include "msi/handle_table.h"
#include "msi/text_decoder.h"

namespace msi {
namespace {

constexpr std::string_view kSummaryStream = "\x05SummaryInformation";
// The property set of the summary information.
constexpr std::uint8_t kSummaryFormatId[16] = {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10,
                                               0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9};
constexpr std::size_t kSetHeaderSize = 28;     // byte order ... section count
constexpr std::size_t kSectionEntrySize = 20;  // format id and offset
constexpr std::uint32_t kHighestProperty = 19;
// A summary holds a few short texts; a larger stream is not one.
constexpr std::uint64_t kLargestStream = 1 << 20;

const std::uint8_t* Bytes(std::string_view bytes, std::size_t offset) {
  return reinterpret_cast<const std::uint8_t*>(bytes.data()) + offset;
}

// Little-endian integers of the property set.
std::uint16_t LoadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::uint32_t LoadU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(LoadU16(p)) | static_cast<std::uint32_t>(LoadU16(p + 2)) << 16;
}
std::uint64_t LoadU64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(LoadU32(p)) | static_cast<std::uint64_t>(LoadU32(p + 4)) << 32;
}

// A property's value as the section stores it, before texts are decoded.
struct RawProperty {
  UINT type = VT_EMPTY;
  int integer = 0;
  std::uint64_t time = 0;
  std::string_view text;
};

// Reads the value at `offset` of `section`; nothing for a value that runs
// past the section or has a type that is not read.
std::optional<RawProperty> ReadValue(std::string_view section, std::size_t offset) {
  if (offset > section.size() || section.size() - offset < 4) return std::nullopt;
  RawProperty value;
  value.type = LoadU32(Bytes(section, offset));
  const std::size_t data = offset + 4;
  const std::size_t room = section.size() - data;
  switch (value.type) {
    case VT_I2:
      if (room < 2) return std::nullopt;
      value.integer = static_cast<std::int16_t>(LoadU16(Bytes(section, data)));
      return value;
    case VT_I4:
      if (room < 4) return std::nullopt;
      value.integer = static_cast<std::int32_t>(LoadU32(Bytes(section, data)));
      return value;
    case VT_FILETIME:
      if (room < 8) return std::nullopt;
      value.time = LoadU64(Bytes(section, data));
      return value;
    case VT_LPSTR: {
      if (room < 4) return std::nullopt;
      const std::uint32_t length = LoadU32(Bytes(section, data));
      if (length > room - 4) return std::nullopt;
      std::string_view text = section.substr(data + 4, length);
      // The length counts the closing NUL; the text ends at the first one.
      value.text = text.substr(0, text.find('\0'));
      return value;
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

const SummaryProperty* SummaryInfo::Find(UINT property) const {
  auto found = properties_.find(property);
  return found == properties_.end() ? nullptr : &found->second;
}

std::optional<SummaryInfo> SummaryInfo::Parse(std::string_view bytes, std::string* error) {
  auto fail = [error](const char* message) -> std::optional<SummaryInfo> {
    if (error != nullptr) *error = message;
    return std::nullopt;
  };
  if (bytes.size() < kSetHeaderSize) return fail("the property set is shorter than its header");
  if (LoadU16(Bytes(bytes, 0)) != 0xFFFE) return fail("the property set has no byte order mark");
  const std::uint32_t sections = LoadU32(Bytes(bytes, 24));
  if (sections == 0 || sections > (bytes.size() - kSetHeaderSize) / kSectionEntrySize) {
    return fail("the property set's section count does not fit the stream");
  }
  std::optional<std::size_t> section_offset;
  for (std::uint32_t i = 0; i < sections && !section_offset; ++i) {
    const std::size_t entry = kSetHeaderSize + i * kSectionEntrySize;
    if (std::memcmp(Bytes(bytes, entry), kSummaryFormatId, sizeof kSummaryFormatId) == 0) {
      section_offset = LoadU32(Bytes(bytes, entry + 16));
    }
  }
  if (!section_offset) return fail("the property set has no summary information section");
  if (*section_offset > bytes.size() || bytes.size() - *section_offset < 8) {
    return fail("the summary section lies past the stream's end");
  }
  const std::uint32_t section_size = LoadU32(Bytes(bytes, *section_offset));
  if (section_size < 8 || section_size > bytes.size() - *section_offset) {
    return fail("the summary section's size does not fit the stream");
  }
  const std::string_view section = bytes.substr(*section_offset, section_size);
  const std::uint32_t count = LoadU32(Bytes(section, 4));
  if (count > (section.size() - 8) / 8) return fail("the summary section's count does not fit");

  std::map<UINT, RawProperty> raw;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint32_t id = LoadU32(Bytes(section, 8 + 8 * std::size_t{i}));
    const std::uint32_t offset = LoadU32(Bytes(section, 12 + 8 * std::size_t{i}));
    if (id == 0 || id > kHighestProperty || raw.count(id) != 0) continue;
    if (offset < 8) return fail("a summary property lies inside the section's header");
    std::optional<RawProperty> value = ReadValue(section, offset);
    if (!value) {
      if (offset > section.size() || section.size() - offset < 4) {
        return fail("a summary property lies past the section's end");
      }
      // A known type whose data runs past the end is damage; an unknown type
      // is only left out.
      const UINT type = LoadU32(Bytes(section, offset));
      if (type == VT_I2 || type == VT_I4 || type == VT_FILETIME || type == VT_LPSTR) {
        return fail("a summary property's value runs past the section's end");
      }
      continue;
    }
    raw.emplace(id, *value);
  }

  // Texts are in the codepage that the set itself names.
  int codepage = 0;
  auto codepage_value = raw.find(PID_CODEPAGE);
  if (codepage_value != raw.end() && codepage_value->second.type == VT_I2) {
    codepage = static_cast<std::uint16_t>(codepage_value->second.integer);
  }
  TextDecoder decoder(codepage);
  SummaryInfo info;
  for (const auto& [id, value] : raw) {
    SummaryProperty property;
    property.type = value.type;
    property.integer = value.integer;
    property.time = value.time;
    if (value.type == VT_LPSTR) decoder.Decode(value.text, &property.text);
    info.properties_.emplace(id, std::move(property));
  }
  return info;
}

}  // namespace msi

namespace {

// The summary of a database: empty without the stream, nothing when the
// stream cannot be read or parsed.
std::optional<msi::SummaryInfo> ReadSummary(const msi::Database& database) {
  std::optional<std::uint32_t> entry = database.FindStream(msi::kSummaryStream);
  if (!entry) return msi::SummaryInfo();
  std::string error;
  std::optional<msi::StreamLayout> layout = database.LocateStream(*entry, &error);
  if (!layout || layout->size > msi::kLargestStream) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(layout->size), '\0');
  if (!database.ReadStreamAt(*layout, 0, bytes.data(), bytes.size())) return std::nullopt;
  return msi::SummaryInfo::Parse(bytes, &error);
}

}  // namespace

UINT MsiGetSummaryInformationA(MSIHANDLE database, const char* path, UINT update_count,
                               MSIHANDLE* summary) {
  if (summary == nullptr) return ERROR_INVALID_PARAMETER;
  *summary = 0;
  if (update_count != 0) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<const msi::Database> opened;
  if (database != 0) {
    opened = msi::Handles().Get<const msi::Database>(database);
    if (!opened) return ERROR_INVALID_HANDLE;
  } else {
    if (path == nullptr) return ERROR_INVALID_PARAMETER;
    std::string error;
    opened = msi::Database::Open(path, &error);
    if (!opened) return ERROR_OPEN_FAILED;
  }
  std::optional<msi::SummaryInfo> info = ReadSummary(*opened);
  if (!info) return ERROR_INVALID_DATA;
  *summary = msi::Handles().Add(std::make_shared<const msi::SummaryInfo>(std::move(*info)));
  return *summary != 0 ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

UINT MsiSummaryInfoGetPropertyA(MSIHANDLE summary, UINT property, UINT* type, int* integer,
                                FILETIME* time, char* buffer, std::uint32_t* size) {
  auto info = msi::Handles().Get<const msi::SummaryInfo>(summary);
  if (!info) return ERROR_INVALID_HANDLE;
  if (property == 0 || property > msi::kHighestProperty) return ERROR_UNKNOWN_PROPERTY;
  const msi::SummaryProperty* found = info->Find(property);
  const msi::SummaryProperty empty;
  const msi::SummaryProperty& value = found != nullptr ? *found : empty;
  if (type != nullptr) *type = value.type;
  if (integer != nullptr) *integer = value.integer;
  if (time != nullptr) {
    time->dwLowDateTime = static_cast<std::uint32_t>(value.time);
    time->dwHighDateTime = static_cast<std::uint32_t>(value.time >> 32);
  }
  if (value.type != VT_LPSTR || size == nullptr) return ERROR_SUCCESS;
  // Texts are copied as record fields are: cut to the room, NUL-terminated.
  const std::uint32_t room = *size;
  const std::uint32_t length =
      static_cast<std::uint32_t>(std::min<std::size_t>(value.text.size(), 0xFFFFFFFEu));
  *size = length;
  if (buffer == nullptr) return ERROR_SUCCESS;
  if (room == 0) return ERROR_MORE_DATA;
  const std::uint32_t copied = std::min(length, room - 1);
  std::memcpy(buffer, value.text.data(), copied);
  buffer[copied] = '\0';
  return copied < length ? ERROR_MORE_DATA : ERROR_SUCCESS;
}

UINT MsiSummaryInfoGetPropertyCount(MSIHANDLE summary, UINT* count) {
  auto info = msi::Handles().Get<const msi::SummaryInfo>(summary);
  if (!info) return ERROR_INVALID_HANDLE;
  if (count == nullptr) return ERROR_INVALID_PARAMETER;
  *count = static_cast<UINT>(info->count());
  return ERROR_SUCCESS;
}
