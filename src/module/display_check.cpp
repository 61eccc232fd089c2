#include "module/display_check.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <fcntl.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "module/runtime_dir.h"

namespace strivex::module {

namespace {

constexpr int kConnectTimeoutMs = 500;

bool ConnectUnix(const std::string& path, bool abstract) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const size_t offset = abstract ? 1 : 0;
  if (path.size() + offset >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path + offset, path.data(), path.size());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size() +
                                             (abstract ? 0 : 1));
  const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0;
  close(fd);
  return ok;
}

// A remote display must answer quickly: the module's start waits for it.
bool ConnectTcp(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return false;
  bool ok = false;
  for (addrinfo* at = found; at != nullptr && !ok; at = at->ai_next) {
    const int fd = socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, at->ai_protocol);
    if (fd < 0) continue;
    if (connect(fd, at->ai_addr, at->ai_addrlen) == 0) {
      ok = true;
    } else if (errno == EINPROGRESS) {
      pollfd wait{fd, POLLOUT, 0};
      int error = 0;
      socklen_t size = sizeof error;
      ok = poll(&wait, 1, kConnectTimeoutMs) == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 &&
           error == 0;
    }
    close(fd);
  }
  freeaddrinfo(found);
  return ok;
}

bool EnvSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

bool XDisplayReachable(const std::string& display, const std::string& socketDir) {
  const size_t colon = display.rfind(':');
  if (colon == std::string::npos || colon + 1 >= display.size()) return false;
  const std::string host = display.substr(0, colon);
  const std::string rest = display.substr(colon + 1);
  // The display number ends at the screen's dot.
  const std::string number = rest.substr(0, rest.find('.'));
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
  if (host.empty() || host == "unix") {
    const std::string path = socketDir + "/X" + number;
    return ConnectUnix(path, /*abstract=*/true) || ConnectUnix(path, /*abstract=*/false);
  }
  return ConnectTcp(host, 6000 + std::atoi(number.c_str()));
}

bool PrepareQtPlatform() {
  if (!EnvSet("XDG_RUNTIME_DIR")) {
    const RuntimeDir runtime = ChooseRuntimeDir(nullptr, ::geteuid());
    if (!runtime.path.empty()) {
      setenv("XDG_RUNTIME_DIR", runtime.path.c_str(), 1);
    } else {
      std::fprintf(stderr, "Strivex: no runtime folder (%s); Qt picks its own\n", runtime.error.c_str());
    }
  }
  if (EnvSet("QT_QPA_PLATFORM") || EnvSet("WAYLAND_DISPLAY")) return false;
  const char* display = std::getenv("DISPLAY");
  if (display != nullptr && XDisplayReachable(display)) return false;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::fprintf(stderr, "Strivex: no reachable display; the window runs on the offscreen platform\n");
  return true;
}

}  // namespace strivex::module
