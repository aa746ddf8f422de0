#include "msi/text_decoder.h"

namespace msi {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool IsAscii(std::string_view bytes) {
  for (char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// Length of the well-formed UTF-8 sequence at the start of `bytes`, or 0.
std::size_t Utf8SequenceLength(std::string_view bytes) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (bytes.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

void AppendValidUtf8(std::string_view bytes, std::string* out) {
  while (!bytes.empty()) {
    const std::size_t length = Utf8SequenceLength(bytes);
    if (length == 0) {
      out->append(kReplacement);
      bytes.remove_prefix(1);
    } else {
      out->append(bytes.substr(0, length));
      bytes.remove_prefix(length);
    }
  }
}

TextDecoder::TextDecoder(int codepage) {
  if (codepage == 65001) {
    mode_ = Mode::kUtf8;
    return;
  }
  const int effective = codepage == 0 ? 1252 : codepage;
  if (effective > 0) converter_ = CodepageConverter::Open(effective);
  mode_ = converter_ ? Mode::kConverter : Mode::kAsciiOnly;
}

TextDecoder::~TextDecoder() = default;

void TextDecoder::Decode(std::string_view bytes, std::string* out) {
  if (IsAscii(bytes)) {
    out->append(bytes);
    return;
  }
  switch (mode_) {
    case Mode::kUtf8:
      AppendValidUtf8(bytes, out);
      return;
    case Mode::kConverter:
      converter_->Convert(bytes, out);
      return;
    case Mode::kAsciiOnly:
      for (char c : bytes) {
        if (static_cast<unsigned char>(c) < 0x80) {
          out->push_back(c);
        } else {
          out->append(kReplacement);
        }
      }
      return;
  }
}

}  // namespace msi
