#include "db/driver_sockets.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace strivex {

namespace {

// Only one connection may be connecting at a time, or each would take the other's sockets.
std::mutex connectLock;

struct CloseFolder {
  void operator()(DIR* folder) const { ::closedir(folder); }
};

}  // namespace

std::map<DriverSockets::Identity, int> DriverSockets::Sockets() {
  // Told from the descriptors' names alone ("socket:[inode]"): another thread's descriptors are
  // never touched, only named.
  std::map<Identity, int> found;
  const std::unique_ptr<DIR, CloseFolder> folder(::opendir("/proc/self/fd"));
  if (!folder) return found;
  const int own = ::dirfd(folder.get());
  while (const dirent* entry = ::readdir(folder.get())) {
    char* end = nullptr;
    const long fd = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || fd == own) continue;
    char target[64] = {};
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    constexpr std::string_view kSocket = "socket:[";
    if (length <= 0 || std::string_view(target, static_cast<size_t>(length)).substr(0, kSocket.size()) != kSocket) {
      continue;
    }
    found.emplace(std::strtoull(target + kSocket.size(), nullptr, 10), static_cast<int>(fd));
  }
  return found;
}

bool DriverSockets::ConnectedStream(int fd) {
  int type = 0;
  socklen_t size = sizeof type;
  if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) != 0 || type != SOCK_STREAM) return false;
  sockaddr_storage peer{};
  socklen_t peerSize = sizeof peer;
  return ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) == 0;
}

bool DriverSockets::Connect(const std::function<bool()>& connect) {
  std::lock_guard connecting(connectLock);
  {
    std::lock_guard lock(mutex_);
    kept_.clear();
    cut_.store(false);
    before_ = Sockets();
  }
  const bool connected = connect();
  std::lock_guard lock(mutex_);
  if (connected) {
    for (const auto& [identity, fd] : Sockets()) {
      // New since the connect began: the driver's, opened on this thread.
      if (before_->contains(identity) || !ConnectedStream(fd)) continue;
      // A duplicate stays the same socket when the driver closes its descriptor and the number is
      // reused: a late shut-down never meets somebody else's socket.
      if (const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0); copy >= 0) kept_.emplace_back(copy);
    }
  }
  before_.reset();
  // Cut while connecting: whatever the driver kept of it is cut too.
  if (cut_.load()) {
    for (const UniqueFd& socket : kept_) ::shutdown(socket.get(), SHUT_RDWR);
  }
  return connected;
}

void DriverSockets::ShutDown() {
  std::lock_guard lock(mutex_);
  cut_.store(true);
  // A login in flight is left to the driver's own login time-out, which holds against a frozen
  // server: the sockets it is opening cannot be told from another thread's at this moment. What
  // it leaves behind is cut as soon as it returns.
  if (before_) return;
  for (const UniqueFd& socket : kept_) ::shutdown(socket.get(), SHUT_RDWR);
}

size_t DriverSockets::count() const {
  std::lock_guard lock(mutex_);
  return kept_.size();
}

void DriverSockets::Release() {
  std::lock_guard lock(mutex_);
  kept_.clear();
}

}  // namespace strivex
