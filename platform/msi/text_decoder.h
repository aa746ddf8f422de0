// Turns string bytes in a database's codepage into UTF-8. Codepage 0 is read
// as Windows-1252 and 65001 as UTF-8. Every byte that cannot be decoded
// becomes U+FFFD; nothing is dropped. An unknown codepage keeps ASCII and
// turns every other byte into U+FFFD.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace msi {

class TextDecoder {
 public:
  explicit TextDecoder(int codepage);
  ~TextDecoder();
  TextDecoder(const TextDecoder&) = delete;
  TextDecoder& operator=(const TextDecoder&) = delete;

  // Appends the UTF-8 form of `bytes` to `out`.
  void Decode(std::string_view bytes, std::string* out);

 private:
  void DecodeWithIconv(std::string_view bytes, std::string* out);

  enum class Mode { kIconv, kUtf8, kAsciiOnly };
  Mode mode_ = Mode::kAsciiOnly;
  iconv_t converter_ = reinterpret_cast<iconv_t>(-1);
};

// Appends `bytes`, read as UTF-8, with every invalid sequence replaced by
// U+FFFD.
void AppendValidUtf8(std::string_view bytes, std::string* out);

}  // namespace msi
