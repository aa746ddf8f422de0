// SHA-256 of a byte string, for comparing stream contents with the
// expected digests of the corpus.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace test_support {

class Sha256 {
 public:
  Sha256();
  void Update(std::string_view bytes);
  // The digest as 64 lower-case hex digits. Call once, after every Update.
  std::string HexDigest();

 private:
  void Block(const std::uint8_t* block);
  std::uint32_t state_[8];
  std::uint8_t buffer_[64];
  std::size_t buffered_ = 0;
  std::uint64_t total_bytes_ = 0;
};

std::string Sha256Hex(std::string_view bytes);

}  // namespace test_support
