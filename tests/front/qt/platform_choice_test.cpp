// The window system the window runs on in X, Wayland and mixed sessions.
#include "qt/platform_choice.h"

#include <gtest/gtest.h>

namespace tarvelin {
namespace {

TEST(PlatformChoice, XWhereverTheSessionOffersItUnlessTheUserChose) {
  struct Case {
    DisplaySetting setting;
    std::vector<std::string> arguments;
    std::string qpa_platform;
    bool cannot_stay_on_top;
  };
  const Case cases[] = {
      // An X session: Qt's default is X already.
      {{":0", "", ""}, {}, "", false},
      // A Wayland session with XWayland: X, where the window stays on top.
      {{":0", "wayland-0", ""}, {}, "xcb", false},
      // Without XWayland: a Wayland client, and the user is told.
      {{"", "wayland-0", ""}, {}, "wayland", true},
      // The user's choice stands, in the environment or on the command line.
      {{":0", "wayland-0", "wayland"}, {}, "", true},
      {{":0", "wayland-0", "wayland-egl"}, {}, "", true},
      {{":0", "wayland-0", "xcb"}, {}, "", false},
      {{":0", "wayland-0", ""}, {"-platform", "wayland"}, "", true},
      {{"", "wayland-0", ""}, {"a.msi", "--platform", "offscreen"}, "", false},
      {{"", "", "offscreen"}, {}, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("DISPLAY=" + c.setting.display + " WAYLAND_DISPLAY=" + c.setting.wayland_display +
                 " QT_QPA_PLATFORM=" + c.setting.qpa_platform +
                 " arguments: " + std::to_string(c.arguments.size()));
    const PlatformChoice choice = ChoosePlatform(c.setting, c.arguments);
    EXPECT_EQ(choice.qpa_platform, c.qpa_platform);
    EXPECT_EQ(choice.cannot_stay_on_top, c.cannot_stay_on_top);
  }
}

}  // namespace
}  // namespace tarvelin
