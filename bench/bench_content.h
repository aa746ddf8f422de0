// Reproducible file contents that look like what installers carry: text
// (prose and source code), executables (headers, code, tables, padding) and
// already-compressed data. Each kind compresses the way its real kind does.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

enum class ContentKind { kText, kExecutable, kCompressed };

// A small, fast deterministic generator (xorshift64*).
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ULL + 1) {}
  std::uint64_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return state_ * 0x2545F4914F6CDD1DULL;
  }
  // 0 .. bound-1
  std::uint32_t Below(std::uint32_t bound) {
    return static_cast<std::uint32_t>((Next() >> 32) % bound);
  }

 private:
  std::uint64_t state_;
};

// `size` bytes of the given kind, the same for the same seed.
std::string MakeContent(ContentKind kind, std::size_t size, std::uint64_t seed);

// The kind of the `index`th file of a package: a mix of about 40 % text,
// 35 % executables and 25 % compressed data.
ContentKind KindOf(std::uint64_t index);

// A file name extension that suits the kind.
const char* ExtensionOf(ContentKind kind, std::uint64_t index);

}  // namespace bench
