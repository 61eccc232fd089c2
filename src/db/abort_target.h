#pragma once
// The connection an engine is making or using, published for Abort, which comes from another
// thread while the engine's own thread may be stuck in that connection's call.

#include <memory>
#include <mutex>
#include <utility>

namespace strivex {

template <class Connection>
class AbortTarget {
 public:
  void Set(std::shared_ptr<Connection> connection) {
    std::lock_guard lock(mutex_);
    connection_ = std::move(connection);
  }
  std::shared_ptr<Connection> Get() const {
    std::lock_guard lock(mutex_);
    return connection_;
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<Connection> connection_;
};

}  // namespace strivex
