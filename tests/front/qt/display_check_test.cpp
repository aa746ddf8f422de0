// Whether the window has a display to be shown on.
#include "qt/display_check.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstring>

#include "files/unique_fd.h"
#include "support/test_support.h"

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

// A display that is named but has ended (a stale DISPLAY in a terminal
// multiplexer) is told from one that listens.
TEST(DisplayCheck, OnlyADisplayThatListensAnswers) {
  test_support::TempDir folder;
  const std::string listening = folder / "X7";
  files::UniqueFd server(socket(AF_UNIX, SOCK_STREAM, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, listening.c_str());
  ASSERT_EQ(bind(server.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(server.get(), 4), 0);

  for (const char* display : {":7", ":7.0", "unix:7", "remote:0", "localhost:10.0", "odd"})
    EXPECT_TRUE(XDisplayAnswers(display, folder.path())) << display;
  for (const char* display : {":8", "unix:8.1"})
    EXPECT_FALSE(XDisplayAnswers(display, folder.path())) << display;
  EXPECT_TRUE(WaylandDisplayAnswers("X7", folder.path()));
  EXPECT_TRUE(WaylandDisplayAnswers(listening, ""));
  EXPECT_TRUE(WaylandDisplayAnswers("wayland-0", ""));  // nowhere to look
  EXPECT_FALSE(WaylandDisplayAnswers("wayland-0", folder.path()));
}

}  // namespace
}  // namespace tarvelin
