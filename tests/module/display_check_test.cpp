// Whether the module sees a display (a listening socket stands in for the X server), and the
// runtime folder it gives Qt.

#include "module/display_check.h"
#include "module/runtime_dir.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_dir.h"

namespace strivex::module {
namespace {

class Listener {
 public:
  explicit Listener(const std::string& path) {
    fd_ = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd_, 4) == 0;
  }
  // A TCP listener on 127.0.0.1 at 6000 + the returned display number, or -1.
  Listener() {
    for (int number = 40; number < 200 && !ok_; ++number) {
      if (fd_ >= 0) close(fd_);
      fd_ = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(static_cast<uint16_t>(6000 + number));
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(fd_, 4) == 0;
      if (ok_) number_ = number;
    }
  }
  ~Listener() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return ok_; }
  int number() const { return number_; }

 private:
  int fd_ = -1;
  bool ok_ = false;
  int number_ = -1;
};

TEST(DisplayCheck, LocalDisplayIsReachableOnlyWhileItsSocketListens) {
  testing::TempDir dir;
  const std::string sockets = dir.path().string();
  {
    Listener server(sockets + "/X7");
    ASSERT_TRUE(server.ok());
    EXPECT_TRUE(XDisplayReachable(":7", sockets));
    EXPECT_TRUE(XDisplayReachable(":7.0", sockets));
    EXPECT_TRUE(XDisplayReachable("unix:7", sockets));
    EXPECT_FALSE(XDisplayReachable(":8", sockets));
  }
  // A socket file left behind by a server that is gone.
  EXPECT_FALSE(XDisplayReachable(":7", sockets));
}

TEST(DisplayCheck, MalformedDisplaysAreUnreachable) {
  testing::TempDir dir;
  for (const char* display : {"", ":", "7", ":x", ":7x", "host:"}) {
    EXPECT_FALSE(XDisplayReachable(display, dir.path().string())) << display;
  }
}

TEST(DisplayCheck, RemoteDisplayIsReachedOverTcp) {
  Listener server;
  if (!server.ok()) GTEST_SKIP() << "no free TCP port for a display";
  EXPECT_TRUE(XDisplayReachable("127.0.0.1:" + std::to_string(server.number())));
  EXPECT_TRUE(XDisplayReachable("localhost:" + std::to_string(server.number()) + ".0"));
}


// Restores the variables PrepareQtPlatform may set.
class SavedEnvironment {
 public:
  SavedEnvironment() {
    for (const char* name : kNames) {
      const char* value = std::getenv(name);
      saved_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
    }
  }
  ~SavedEnvironment() {
    for (const auto& [name, value] : saved_) {
      if (value) setenv(name, value->c_str(), 1);
      else unsetenv(name);
    }
  }

 private:
  static constexpr const char* kNames[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"};
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST(DisplayCheck, WithoutAnyDisplayQtIsSentOffscreenWithAPrivateRuntimeDir) {
  SavedEnvironment saved;
  for (const char* name : {"WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"}) unsetenv(name);
  setenv("DISPLAY", ":199", 1);  // nothing listens there
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(PrepareQtPlatform());
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("offscreen"), std::string::npos);
  EXPECT_STREQ(std::getenv("QT_QPA_PLATFORM"), "offscreen");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  ASSERT_NE(runtime, nullptr);
  struct stat info {};
  ASSERT_EQ(stat(runtime, &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  rmdir(runtime);
}

TEST(DisplayCheck, AnExplicitPlatformOrWaylandIsLeftAlone) {
  SavedEnvironment saved;
  setenv("XDG_RUNTIME_DIR", "/run/somewhere", 1);
  unsetenv("DISPLAY");
  setenv("QT_QPA_PLATFORM", "minimal", 1);
  EXPECT_FALSE(PrepareQtPlatform());
  EXPECT_STREQ(std::getenv("QT_QPA_PLATFORM"), "minimal");
  EXPECT_STREQ(std::getenv("XDG_RUNTIME_DIR"), "/run/somewhere");
  unsetenv("QT_QPA_PLATFORM");
  setenv("WAYLAND_DISPLAY", "wayland-0", 1);
  EXPECT_FALSE(PrepareQtPlatform());
  EXPECT_EQ(std::getenv("QT_QPA_PLATFORM"), nullptr);
}

// Without a session folder: one per user, reused at every start, private, never a stranger's.
TEST(RuntimeDir, IsChosenAndChecked) {
  enum Before { kNothing, kOpenFolder, kLink, kAnotherUsersFolder };
  const struct {
    const char* environment;  // $XDG_RUNTIME_DIR, or null
    Before before;
    bool own;           // BASE/strivex-runtime-UID chosen, else `environment` (null: none)
    const char* error;  // part of the error, or ""
  } cases[] = {{"/run/user/1000", kNothing, false, ""}, {nullptr, kNothing, true, ""},
               {"run/user", kNothing, true, ""},        {nullptr, kOpenFolder, true, ""},
               {nullptr, kLink, false, "not a folder"}, {nullptr, kAnotherUsersFolder, false, "owned by uid"}};
  for (const auto& c : cases) {
    testing::TempDir base;
    const uid_t uid = ::geteuid() + (c.before == kAnotherUsersFolder ? 1 : 0);  // made by another uid
    const std::string own = (base / ("strivex-runtime-" + std::to_string(uid))).string();
    if (c.before == kOpenFolder || c.before == kAnotherUsersFolder) mkdir(own.c_str(), 0755);
    if (c.before == kLink) symlink(base.path().c_str(), own.c_str());
    for (int start = 0; start < 2; ++start) {
      const RuntimeDir got = ChooseRuntimeDir(c.environment, uid, base.path().string());
      EXPECT_EQ(got.path, c.own ? own : c.environment ? c.environment : "") << own;
      EXPECT_TRUE(*c.error ? got.error.find(c.error) != std::string::npos : got.error.empty()) << got.error;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(base.path()), {}), c.own || c.before != kNothing);
    struct stat info {};
    EXPECT_EQ(c.own ? (lstat(own.c_str(), &info) == 0 ? info.st_mode & 07777 : 0u) : 0700u, 0700u) << own;
  }
}

}  // namespace
}  // namespace strivex::module
