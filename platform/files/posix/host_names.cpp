#include "files/host_names.h"

namespace files {

char Separator() { return '/'; }
bool IsSeparator(char c) { return c == '/'; }
std::size_t FindSeparator(std::string_view text, std::size_t from) { return text.find('/', from); }
bool LeadsElsewhere(std::string_view) { return false; }
bool CannotHold(std::string_view) { return false; }
bool NamesIgnoreCase() { return false; }
std::string FoldCase(std::string_view name) { return std::string(name); }

}  // namespace files
