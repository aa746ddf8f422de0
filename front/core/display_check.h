// Whether the window can be shown at all: Qt ends the program with an abort
// when the window system it is to use is not there.
#pragma once

#include <string>
#include <vector>

namespace tarvelin {

struct DisplaySetting {
  std::string display;          // $DISPLAY
  std::string wayland_display;  // $WAYLAND_DISPLAY
  std::string qpa_platform;     // $QT_QPA_PLATFORM
};

// True when the window would need an X or Wayland display and neither
// DISPLAY nor WAYLAND_DISPLAY names one. The platform is the one a
// "-platform NAME" (or "--platform NAME") argument gives, else
// QT_QPA_PLATFORM; a list ("wayland;xcb") and options ("xcb:...") are read
// as Qt reads them. Platforms that draw without a display (offscreen,
// minimal, vnc, linuxfb, eglfs ...) need none. `arguments` excludes the
// program name.
bool DisplayMissing(const DisplaySetting& setting, const std::vector<std::string>& arguments);

}  // namespace tarvelin
