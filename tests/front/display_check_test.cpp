// Whether the window has a display to be shown on.
#include "core/display_check.h"

#include <gtest/gtest.h>

namespace tarvelin {
namespace {

TEST(DisplayCheck, MissingOnlyWhenTheChosenPlatformNeedsADisplayThatIsNotSet) {
  struct Case {
    DisplaySetting setting;
    std::vector<std::string> arguments;
    bool missing;
  };
  const Case cases[] = {
      {{"", "", ""}, {}, true},
      {{":0", "", ""}, {}, false},
      {{"", "wayland-0", ""}, {}, false},
      {{"", "", "xcb"}, {}, true},
      {{"", "", "wayland-egl"}, {}, true},
      {{"", "", "offscreen"}, {}, false},
      {{"", "", "minimal"}, {}, false},
      {{"", "", "vnc:size=800x600"}, {}, false},
      {{"", "", "xcb:nograb"}, {}, true},
      // A list is tried in turn: one platform without a display will do.
      {{"", "", "wayland;xcb"}, {}, true},
      {{"", "", "xcb;offscreen"}, {}, false},
      // The command line's platform wins over the environment's.
      {{"", "", "offscreen"}, {"-platform", "xcb"}, true},
      {{"", "", ""}, {"a.msi", "-platform", "offscreen"}, false},
      {{"", "", ""}, {"--platform", "minimal"}, false},
      {{"", "", ""}, {"a.msi", "-platform"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("DISPLAY=" + c.setting.display + " WAYLAND_DISPLAY=" + c.setting.wayland_display +
                 " QT_QPA_PLATFORM=" + c.setting.qpa_platform +
                 " arguments: " + std::to_string(c.arguments.size()));
    EXPECT_EQ(DisplayMissing(c.setting, c.arguments), c.missing);
  }
}

}  // namespace
}  // namespace tarvelin
