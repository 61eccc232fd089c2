#pragma once
// The sockets a database driver opened for one connection. Drivers do not hand them out, so they
// are found as the stream sockets that appeared while the driver connected: the connects of every
// connection take turns under one process-wide lock, and each lists the process's sockets by the
// names of its descriptors before and after (another thread's descriptors are never touched). Shutting them down makes any call blocked on the server return with a
// failure, which is what ends a call to a server that is frozen (its kernel still acknowledges,
// so keep-alives see nothing, and a cancel request waits on the same frozen server).

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "util/unique_fd.h"

namespace strivex {

class DriverSockets {
 public:
  DriverSockets() = default;
  DriverSockets(const DriverSockets&) = delete;
  DriverSockets& operator=(const DriverSockets&) = delete;

  // Runs `connect` under the process-wide lock and keeps a duplicate of each connected stream
  // socket it left behind; returns what `connect` returned.
  bool Connect(const std::function<bool()>& connect);
  // Shuts the connection's sockets down; while Connect runs, marks them to be shut down as soon as
  // it returns. Any thread, at any time, never waits on the server.
  void ShutDown();
  // Whether ShutDown ran since the last Connect: the connection's failures are then its doing.
  bool cut() const { return cut_.load(); }
  // How many sockets the last Connect kept.
  size_t count() const;
  // Closes the kept duplicates, once the driver has let go of the connection.
  void Release();

 private:
  using Identity = unsigned long long;  // a socket's inode, whatever descriptor it has
  // The process's sockets by identity, each with one of its descriptors.
  static std::map<Identity, int> Sockets();
  // Whether `fd` is a stream socket with a peer.
  static bool ConnectedStream(int fd);

  mutable std::mutex mutex_;
  std::optional<std::map<Identity, int>> before_;  // while Connect runs
  std::vector<UniqueFd> kept_;
  std::atomic<bool> cut_{false};
};

}  // namespace strivex
