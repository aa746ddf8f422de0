// The database's string table (_StringPool + _StringData), decoded to UTF-8
// once when the database is opened. Cells keep string ids and look the text
// up here, so a long string is held once however many cells refer to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace msi {

class StringPool {
 public:
  // `pool` is the _StringPool stream, `data` the _StringData stream.
  static std::optional<StringPool> Parse(std::string_view pool, std::string_view data,
                                         std::string* error);

  int codepage() const { return codepage_; }
  // Width of a string reference in a table cell: 2 or 3 bytes.
  unsigned ref_width() const { return ref_width_; }
  // Number of ids, counting id 0 (null); valid ids are below it.
  std::size_t size() const { return offsets_.size() - 1; }
  bool Contains(std::uint32_t id) const { return id < size(); }
  // The UTF-8 text of `id`; id 0 and unused slots are empty.
  std::string_view Get(std::uint32_t id) const;

 private:
  StringPool() = default;
  int codepage_ = 0;
  unsigned ref_width_ = 2;
  std::string text_;
  std::vector<std::size_t> offsets_{0, 0};  // id -> start in text_, one past the last id
};

}  // namespace msi
