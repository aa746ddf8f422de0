#include "msi/text_decoder.h"

#include <cerrno>

namespace msi {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

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
  if (effective > 0) {
    const std::string number = std::to_string(effective);
    converter_ = iconv_open("UTF-8", ("CP" + number).c_str());
    if (converter_ == kNoConverter) converter_ = iconv_open("UTF-8", ("WINDOWS-" + number).c_str());
  }
  mode_ = converter_ == kNoConverter ? Mode::kAsciiOnly : Mode::kIconv;
}

TextDecoder::~TextDecoder() {
  if (converter_ != kNoConverter) iconv_close(converter_);
}

void TextDecoder::Decode(std::string_view bytes, std::string* out) {
  if (IsAscii(bytes)) {
    out->append(bytes);
    return;
  }
  switch (mode_) {
    case Mode::kUtf8:
      AppendValidUtf8(bytes, out);
      return;
    case Mode::kIconv:
      DecodeWithIconv(bytes, out);
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

void TextDecoder::DecodeWithIconv(std::string_view bytes, std::string* out) {
  iconv(converter_, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(bytes.data());
  std::size_t in_left = bytes.size();
  char buffer[1024];
  while (true) {
    char* target = buffer;
    std::size_t target_left = sizeof buffer;
    const bool flushing = in_left == 0;
    const std::size_t result = flushing ? iconv(converter_, nullptr, nullptr, &target, &target_left)
                                        : iconv(converter_, &in, &in_left, &target, &target_left);
    out->append(buffer, static_cast<std::size_t>(target - buffer));
    if (result != static_cast<std::size_t>(-1)) {
      if (flushing) return;
      continue;
    }
    if (errno == E2BIG) continue;
    if (flushing) return;
    // An undecodable or incomplete sequence: one replacement per byte.
    out->append(kReplacement);
    ++in;
    --in_left;
    iconv(converter_, nullptr, nullptr, nullptr, nullptr);
  }
}

}  // namespace msi
