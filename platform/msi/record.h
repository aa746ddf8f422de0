// A record behind a record handle: a row fetched from a view, or a
// parameter record made by the caller. Field 0 and fields past the end read
// as null.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "msi/database.h"

namespace msi {

struct RecordField {
  CellKind kind = CellKind::kNull;
  std::int32_t integer = 0;
  std::string_view shared_text;  // a fetched string: points into the database
  std::string own_text;          // a string the caller set
  bool owns_text = false;
  // A stream field: its entry, and the read position of MsiRecordReadStream.
  std::optional<std::uint32_t> stream_entry;
  std::optional<StreamLayout> layout;  // set on the first read
  bool layout_failed = false;
  std::string layout_error;  // why the layout failed, when it did
  std::uint64_t position = 0;

  std::string_view text() const { return owns_text ? std::string_view(own_text) : shared_text; }
};

class Record {
 public:
  // A record of `count` null fields (numbered 1..count).
  Record(std::shared_ptr<const Database> database, std::size_t count)
      : database_(std::move(database)), fields_(count + 1) {}

  std::size_t count() const { return fields_.size() - 1; }
  // Field `index`, or nothing when it is past the end.
  RecordField* field(std::size_t index) {
    return index < fields_.size() ? &fields_[index] : nullptr;
  }
  const RecordField* field(std::size_t index) const {
    return index < fields_.size() ? &fields_[index] : nullptr;
  }
  const Database* database() const { return database_.get(); }

 private:
  std::shared_ptr<const Database> database_;  // keeps fetched text alive
  std::vector<RecordField> fields_;           // index 0 is field 0
};

}  // namespace msi
