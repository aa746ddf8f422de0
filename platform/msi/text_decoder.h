// Turns string bytes in a database's codepage into UTF-8. Codepage 0 is read
// as Windows-1252 and 65001 as UTF-8. Every byte that cannot be decoded
// becomes U+FFFD; nothing is dropped. An unknown codepage keeps ASCII and
// turns every other byte into U+FFFD.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace msi {

// Turns text in one codepage into UTF-8 through the host's own conversion
// (iconv on POSIX, MultiByteToWideChar on Windows); each host's folder
// beside this file has one.
class CodepageConverter {
 public:
  // Nothing when the host does not know the codepage.
  static std::unique_ptr<CodepageConverter> Open(int codepage);
  virtual ~CodepageConverter() = default;
  // Appends the UTF-8 form of `bytes` to `out`: every byte that is not part
  // of a character of the codepage becomes U+FFFD.
  virtual void Convert(std::string_view bytes, std::string* out) = 0;
};

class TextDecoder {
 public:
  explicit TextDecoder(int codepage);
  ~TextDecoder();
  TextDecoder(const TextDecoder&) = delete;
  TextDecoder& operator=(const TextDecoder&) = delete;

  // Appends the UTF-8 form of `bytes` to `out`.
  void Decode(std::string_view bytes, std::string* out);

 private:
  enum class Mode { kConverter, kUtf8, kAsciiOnly };
  Mode mode_ = Mode::kAsciiOnly;
  std::unique_ptr<CodepageConverter> converter_;
};

// Appends `bytes`, read as UTF-8, with every invalid sequence replaced by
// U+FFFD.
void AppendValidUtf8(std::string_view bytes, std::string* out);

}  // namespace msi
