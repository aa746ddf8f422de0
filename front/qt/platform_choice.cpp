#include "qt/platform_choice.h"

namespace tarvelin {

PlatformChoice ChoosePlatform(const DisplaySetting& setting,
                              const std::vector<std::string>& arguments) {
  const std::string chosen = ChosenPlatform(setting, arguments);
  if (!chosen.empty()) return {"", chosen.rfind("wayland", 0) == 0};
  if (setting.wayland_display.empty()) return {};
  if (!setting.display.empty()) return {"xcb", false};
  return {"wayland", true};
}

}  // namespace tarvelin
