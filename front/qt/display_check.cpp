#include "qt/display_check.h"

#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstring>

#include "files/unique_fd.h"

namespace tarvelin {

namespace {

// True when the platform plugin `name` draws on an X or Wayland display;
// the empty name is Qt's default, the X one.
bool NeedsDisplay(const std::string& name) {
  return name.empty() || name == "xcb" || name.rfind("wayland", 0) == 0;
}

// Whether a stream socket at `path` takes a connection; `abstract` names
// the socket in Linux's abstract namespace instead of the file system.
bool SocketAnswers(const std::string& path, bool abstract) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::size_t offset = abstract ? 1 : 0;
  if (path.size() + offset >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  const auto length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() + 1);
  files::UniqueFd socket_fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket_fd) return true;  // nothing can be told
  return connect(socket_fd.get(), reinterpret_cast<const sockaddr*>(&address),
                 abstract ? length - 1 : length) == 0;
}

}  // namespace

bool XDisplayAnswers(const std::string& display, const std::string& socket_folder) {
  const std::size_t colon = display.rfind(':');
  if (colon == std::string::npos) return true;
  const std::string host = display.substr(0, colon);
  if (!host.empty() && host != "unix") return true;
  std::string number = display.substr(colon + 1);
  number = number.substr(0, number.find('.'));
  if (number.empty() || number.size() > 9 ||
      number.find_first_not_of("0123456789") != std::string::npos) {
    return true;
  }
  const std::string path = socket_folder + "/X" + number;
  return SocketAnswers(path, false) || SocketAnswers(path, true);
}

bool WaylandDisplayAnswers(const std::string& name, const std::string& runtime_folder) {
  if (name.empty()) return false;
  if (name[0] == '/') return SocketAnswers(name, false);
  if (runtime_folder.empty()) return true;
  return SocketAnswers(runtime_folder + "/" + name, false);
}

std::string ChosenPlatform(const DisplaySetting& setting,
                           const std::vector<std::string>& arguments) {
  std::string platforms = setting.qpa_platform;
  for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
    if (arguments[i] == "-platform" || arguments[i] == "--platform") platforms = arguments[i + 1];
  }
  return platforms;
}

bool DisplayMissing(const DisplaySetting& setting, const std::vector<std::string>& arguments) {
  if (!setting.display.empty() || !setting.wayland_display.empty()) return false;
  const std::string platforms = ChosenPlatform(setting, arguments);
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
