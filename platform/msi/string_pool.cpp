#include "msi/string_pool.h"

#include "files/byte_order.h"
#include "msi/text_decoder.h"

namespace msi {

using files::LoadU16;

namespace {

// Byte lengths of the strings with ids 1.., read from the (length,
// refcount) pairs. A pair (0, h) with h != 0 starts a long string that the
// next pair completes. `high_from_next` says where its high 16 bits are:
// in h (false) or in the next pair's second word (true).
std::optional<std::vector<std::uint64_t>> StringLengths(std::string_view pool,
                                                        bool high_from_next) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(pool.data());
  const std::size_t pairs = pool.size() / 4;
  std::vector<std::uint64_t> lengths;
  lengths.reserve(pairs);
  for (std::size_t i = 1; i < pairs; ++i) {
    const std::uint16_t length = LoadU16(bytes + 4 * i);
    const std::uint16_t refs = LoadU16(bytes + 4 * i + 2);
    if (length != 0 || refs == 0) {
      lengths.push_back(length);
      continue;
    }
    if (i + 1 >= pairs) return std::nullopt;
    ++i;
    const std::uint16_t low = LoadU16(bytes + 4 * i);
    const std::uint16_t high = high_from_next ? LoadU16(bytes + 4 * i + 2) : refs;
    lengths.push_back((static_cast<std::uint64_t>(high) << 16) | low);
  }
  return lengths;
}

std::uint64_t Sum(const std::vector<std::uint64_t>& values) {
  std::uint64_t total = 0;
  for (std::uint64_t v : values) total += v;
  return total;
}

}  // namespace

std::optional<StringPool> StringPool::Parse(std::string_view pool, std::string_view data,
                                            std::string* error) {
  StringPool result;
  if (pool.empty()) {
    if (!data.empty()) {
      *error = "string data without a string pool";
      return std::nullopt;
    }
    return result;
  }
  if (pool.size() % 4 != 0) {
    *error = "the string pool's size is not a multiple of 4";
    return std::nullopt;
  }
  const auto* header = reinterpret_cast<const std::uint8_t*>(pool.data());
  const std::uint16_t flags = LoadU16(header + 2);
  result.codepage_ =
      static_cast<int>(LoadU16(header) | (static_cast<std::uint32_t>(flags & 0x7FFF) << 16));
  result.ref_width_ = (flags & 0x8000) != 0 ? 3 : 2;

  // The long-string layout whose lengths add up to the data's size wins;
  // when neither does, the first is used as long as every string fits.
  auto lengths = StringLengths(pool, false);
  if (!lengths || Sum(*lengths) != data.size()) {
    auto other = StringLengths(pool, true);
    if (other && Sum(*other) == data.size()) lengths = std::move(other);
  }
  if (!lengths || Sum(*lengths) > data.size()) {
    *error = "the string pool's lengths run past the string data";
    return std::nullopt;
  }

  TextDecoder decoder(result.codepage_);
  result.text_.reserve(data.size());
  result.offsets_.clear();
  result.offsets_.reserve(lengths->size() + 2);
  result.offsets_.push_back(0);  // id 0
  result.offsets_.push_back(0);
  std::size_t offset = 0;
  for (std::uint64_t length : *lengths) {
    decoder.Decode(data.substr(offset, static_cast<std::size_t>(length)), &result.text_);
    offset += static_cast<std::size_t>(length);
    result.offsets_.push_back(result.text_.size());
  }
  return result;
}

std::string_view StringPool::Get(std::uint32_t id) const {
  if (id >= size()) return {};
  return std::string_view(text_).substr(offsets_[id], offsets_[id + 1] - offsets_[id]);
}

}  // namespace msi
