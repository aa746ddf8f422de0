#include "core/display_check.h"

#include <cstddef>

namespace tarvelin {

namespace {

// True when the platform plugin `name` draws on an X or Wayland display;
// the empty name is Qt's default, the X one.
bool NeedsDisplay(const std::string& name) {
  return name.empty() || name == "xcb" || name.rfind("wayland", 0) == 0;
}

}  // namespace

bool DisplayMissing(const DisplaySetting& setting, const std::vector<std::string>& arguments) {
  if (!setting.display.empty() || !setting.wayland_display.empty()) return false;
  std::string platforms = setting.qpa_platform;
  for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
    if (arguments[i] == "-platform" || arguments[i] == "--platform") platforms = arguments[i + 1];
  }
  // Qt tries the names of a list in turn: one that needs no display will do.
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = platforms.find(';', start);
    const std::string entry = platforms.substr(start, end - start);
    if (!NeedsDisplay(entry.substr(0, entry.find(':')))) return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

}  // namespace tarvelin
