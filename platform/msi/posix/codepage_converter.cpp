#include <iconv.h>

#include <cerrno>

#include "msi/text_decoder.h"

namespace msi {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

class IconvConverter : public CodepageConverter {
 public:
  explicit IconvConverter(iconv_t converter) : converter_(converter) {}
  ~IconvConverter() override { iconv_close(converter_); }
  IconvConverter(const IconvConverter&) = delete;
  IconvConverter& operator=(const IconvConverter&) = delete;

  void Convert(std::string_view bytes, std::string* out) override;

 private:
  iconv_t converter_;
};

void IconvConverter::Convert(std::string_view bytes, std::string* out) {
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

}  // namespace

std::unique_ptr<CodepageConverter> CodepageConverter::Open(int codepage) {
  const std::string number = std::to_string(codepage);
  iconv_t converter = iconv_open("UTF-8", ("CP" + number).c_str());
  if (converter == kNoConverter) converter = iconv_open("UTF-8", ("WINDOWS-" + number).c_str());
  if (converter == kNoConverter) return nullptr;
  return std::make_unique<IconvConverter>(converter);
}

}  // namespace msi
