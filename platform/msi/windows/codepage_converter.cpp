#include <windows.h>

#include <string>

#include "files/windows/wide_text.h"
#include "msi/text_decoder.h"

namespace msi {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

void AppendUtf8(std::wstring_view text, std::string* out) { out->append(files::Narrow(text)); }

// Windows turns the bytes that its ANSI codepages leave undefined (0x81 in
// 1252, 0x98 in 1251, ...) into the C1 control of the same number; they are
// no characters of the codepage, as POSIX hosts say, but for the ISO 8859
// codepages, where the C1 controls are defined.
bool UndefinedByte(UINT codepage, wchar_t c) {
  return c >= 0x80 && c <= 0x9F && !(codepage >= 28591 && codepage <= 28605);
}

// Through MultiByteToWideChar. A text that does not convert whole, or holds
// an undefined byte, is taken a character at a time: the shortest run of one
// to four bytes that is a character, or one U+FFFD for the byte at hand.
class WindowsConverter : public CodepageConverter {
 public:
  explicit WindowsConverter(UINT codepage) : codepage_(codepage) {}

  void Convert(std::string_view bytes, std::string* out) override {
    if (ConvertWhole(bytes, out)) return;
    std::size_t at = 0;
    while (at < bytes.size()) {
      std::size_t length = 1;
      wchar_t wide[4];
      int made = 0;
      for (; length <= 4 && at + length <= bytes.size(); ++length) {
        made = MultiByteToWideChar(codepage_, MB_ERR_INVALID_CHARS, bytes.data() + at,
                                   static_cast<int>(length), wide, 4);
        if (made > 0) break;
      }
      if (made == 1 && UndefinedByte(codepage_, wide[0])) made = 0;
      if (made > 0) {
        AppendUtf8(std::wstring_view(wide, static_cast<std::size_t>(made)), out);
        at += length;
      } else {
        out->append(kReplacement);
        ++at;
      }
    }
  }

 private:
  bool ConvertWhole(std::string_view bytes, std::string* out) {
    const int in = static_cast<int>(bytes.size());
    int size = MultiByteToWideChar(codepage_, MB_ERR_INVALID_CHARS, bytes.data(), in, nullptr, 0);
    DWORD flags = MB_ERR_INVALID_CHARS;
    if (size == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
      // Codepages that cannot tell invalid bytes apart convert as they can.
      flags = 0;
      size = MultiByteToWideChar(codepage_, 0, bytes.data(), in, nullptr, 0);
    }
    if (size <= 0) return false;
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(codepage_, flags, bytes.data(), in, wide.data(), size);
    for (const wchar_t c : wide) {
      if (UndefinedByte(codepage_, c)) return false;
    }
    AppendUtf8(wide, out);
    return true;
  }

  UINT codepage_;
};

}  // namespace

std::unique_ptr<CodepageConverter> CodepageConverter::Open(int codepage) {
  if (codepage <= 0 || codepage > 65535 || !IsValidCodePage(static_cast<UINT>(codepage)))
    return nullptr;
  return std::make_unique<WindowsConverter>(static_cast<UINT>(codepage));
}

}  // namespace msi
