#include "fdi/data_block_checksum.h"

#include <bit>
#include <cstring>

namespace fdi {

static_assert(std::endian::native == std::endian::little, "words are read in host order");

std::uint32_t ChecksumBytes(const unsigned char* bytes, std::size_t count, std::uint32_t seed) {
  // Whole 64-bit words first: their two halves are two little-endian
  // 32-bit words of the sum (this host is little-endian, as the format).
  std::uint64_t wide = 0;
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + i, sizeof word);
    wide ^= word;
  }
  std::uint32_t sum =
      seed ^ static_cast<std::uint32_t>(wide) ^ static_cast<std::uint32_t>(wide >> 32);
  if (i + 4 <= count) {
    sum ^= static_cast<std::uint32_t>(bytes[i]) | static_cast<std::uint32_t>(bytes[i + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[i + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[i + 3]) << 24;
    i += 4;
  }
  std::uint32_t tail = 0;
  for (; i < count; ++i) tail = tail << 8 | bytes[i];
  return sum ^ tail;
}

std::uint32_t DataBlockChecksum(const unsigned char* data, std::size_t count,
                                const unsigned char* sizes) {
  return ChecksumBytes(sizes, 4, ChecksumBytes(data, count, 0));
}

}  // namespace fdi
