#include "msi/stream_name.h"

namespace msi {

namespace {

constexpr char16_t kTableMarker = 0x4840;
constexpr char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz._";

}  // namespace

void AppendUtf8(std::string* out, char32_t code_point) {
  if ((code_point >= 0xD800 && code_point <= 0xDFFF) || code_point > 0x10FFFF) {
    code_point = 0xFFFD;
  }
  if (code_point < 0x80) {
    out->push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

DecodedStreamName DecodeStreamName(const std::u16string& raw) {
  DecodedStreamName decoded;
  std::size_t i = 0;
  if (!raw.empty() && raw[0] == kTableMarker) {
    decoded.table = true;
    decoded.packed = true;
    i = 1;
  }
  for (; i < raw.size(); ++i) {
    const char16_t unit = raw[i];
    if (unit >= 0x3800 && unit < 0x4800) {
      const unsigned value = unit - 0x3800u;
      decoded.name.push_back(kAlphabet[value & 0x3F]);
      decoded.name.push_back(kAlphabet[(value >> 6) & 0x3F]);
      decoded.packed = true;
    } else if (unit >= 0x4800 && unit < 0x4840) {
      decoded.name.push_back(kAlphabet[unit - 0x4800u]);
      decoded.packed = true;
    } else if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < raw.size() && raw[i + 1] >= 0xDC00 &&
               raw[i + 1] < 0xE000) {
      const char32_t high = unit - 0xD800u;
      const char32_t low = raw[i + 1] - 0xDC00u;
      AppendUtf8(&decoded.name, 0x10000 + (high << 10) + low);
      ++i;
    } else {
      AppendUtf8(&decoded.name, unit);
    }
  }
  return decoded;
}

}  // namespace msi
