#include "files/host_names.h"

#include <windows.h>

#include <array>

#include "files/ascii.h"
#include "files/windows/wide_text.h"

namespace files {

char Separator() { return '\\'; }
bool IsSeparator(char c) { return c == '\\' || c == '/'; }
std::size_t FindSeparator(std::string_view text, std::size_t from) {
  return text.find_first_of("\\/", from);
}

bool LeadsElsewhere(std::string_view name) { return name.find(':') != std::string_view::npos; }

bool CannotHold(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.back() == '.' || name.back() == ' ') return true;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || std::string_view("<>|?*\"").find(c) != std::string_view::npos) return true;
  }
  // A device's name, whatever extension follows it and whatever the case.
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  static constexpr std::array<std::string_view, 4> kDevices = {"CON", "PRN", "AUX", "NUL"};
  for (const std::string_view device : kDevices) {
    if (EqualIgnoringAsciiCase(stem, device)) return true;
  }
  return stem.size() == 4 &&
         (EqualIgnoringAsciiCase(stem.substr(0, 3), "COM") ||
          EqualIgnoringAsciiCase(stem.substr(0, 3), "LPT")) &&
         stem[3] >= '1' && stem[3] <= '9';
}

bool NamesIgnoreCase() { return true; }

std::string FoldCase(std::string_view name) {
  std::wstring wide = Widen(name);
  if (wide.empty()) return {};
  std::wstring upper(wide.size(), L'\0');
  const int made =
      LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.c_str(),
                    static_cast<int>(wide.size()), upper.data(), static_cast<int>(upper.size()),
                    nullptr, nullptr, 0);
  if (made <= 0) return Narrow(wide);
  upper.resize(static_cast<std::size_t>(made));
  return Narrow(upper);
}

}  // namespace files
