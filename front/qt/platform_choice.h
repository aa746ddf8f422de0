// Which window system the window runs on. It stays above the other windows
// only on X: Wayland offers ordinary clients no way to do that, so in a
// Wayland session that also offers X (XWayland) the window goes there.
#pragma once

#include <string>
#include <vector>

#include "qt/display_check.h"

namespace tarvelin {

struct PlatformChoice {
  // The value QT_QPA_PLATFORM is to take before Qt starts; empty: leave the
  // environment as it is.
  std::string qpa_platform;
  // The window will be a Wayland client and cannot stay on top: the user is
  // told so once.
  bool cannot_stay_on_top = false;
};

// The choice for displays that answer (`setting` with the ones that do not
// cleared, see display_check.h). A platform the user chose (ChosenPlatform)
// is kept. Otherwise, with a Wayland display: X when DISPLAY names one
// beside it, else Wayland itself, named so that Qt does not try X first.
// `arguments` excludes the program name.
PlatformChoice ChoosePlatform(const DisplaySetting& setting,
                              const std::vector<std::string>& arguments);

}  // namespace tarvelin
