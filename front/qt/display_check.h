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

// The platform the user chose: the one a "-platform NAME" (or "--platform
// NAME") argument gives, else QT_QPA_PLATFORM; empty when neither names one.
// `arguments` excludes the program name.
std::string ChosenPlatform(const DisplaySetting& setting,
                           const std::vector<std::string>& arguments);

// True when the window would need an X or Wayland display and neither
// DISPLAY nor WAYLAND_DISPLAY names one. The platform is the chosen one
// (ChosenPlatform; Qt's default, X, when none); a list ("wayland;xcb") and
// options ("xcb:...") are read as Qt reads them. Platforms that draw without
// a display (offscreen, minimal, vnc, linuxfb, eglfs ...) need none.
bool DisplayMissing(const DisplaySetting& setting, const std::vector<std::string>& arguments);

// Whether the X display `display` (":1", "unix:1.0") takes a connection on
// its socket in `socket_folder` (/tmp/.X11-unix, path or abstract name). A
// display on another host, or one written some other way, is taken to
// answer: only Qt can tell.
bool XDisplayAnswers(const std::string& display, const std::string& socket_folder);

// Whether the Wayland display `name` takes a connection: its socket is
// `name` when that is absolute, else in `runtime_folder` ($XDG_RUNTIME_DIR;
// when that is empty, the display is taken to answer).
bool WaylandDisplayAnswers(const std::string& name, const std::string& runtime_folder);

}  // namespace tarvelin
