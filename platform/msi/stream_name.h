// Names of the streams at the root of an installer database: pairs of
// characters from a 64-symbol alphabet are packed into one UTF-16 unit, and
// table streams carry a leading marker unit.
#pragma once

#include <string>

namespace msi {

struct DecodedStreamName {
  std::string name;     // UTF-8
  bool table = false;   // began with the table marker
  bool packed = false;  // held at least one packed unit (or the marker)
};

DecodedStreamName DecodeStreamName(const std::u16string& raw);

// Appends the UTF-8 form of `code_point` (U+FFFD for a surrogate or a value
// past U+10FFFF).
void AppendUtf8(std::string* out, char32_t code_point);

}  // namespace msi
