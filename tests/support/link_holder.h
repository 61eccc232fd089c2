#pragma once
// Keeps a server link busy from another thread, as a login in progress does, until it goes.

#include <atomic>
#include <thread>

#include "host/server_link.h"
#include "support/wait_for.h"

namespace strivex::testing {

class LinkHolder {
 public:
  explicit LinkHolder(ServerLink& link)
      : thread_([this, &link] {
          link.Run(
              [this](ServerLink::Scope&) {
                held_.store(true);
                while (!release_.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
                return true;
              },
              ServerLink::Needs::kAlways);
        }) {
    WaitFor([this] { return held_.load(); }, std::chrono::seconds(10));
  }
  ~LinkHolder() {
    release_.store(true);
    thread_.join();
  }
  LinkHolder(const LinkHolder&) = delete;
  LinkHolder& operator=(const LinkHolder&) = delete;

 private:
  std::atomic<bool> held_{false};
  std::atomic<bool> release_{false};
  std::thread thread_;
};

}  // namespace strivex::testing
