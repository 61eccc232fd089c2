#pragma once
// Test helpers of a server link: its code lists as the workers see them, and a holder that keeps
// it busy from another thread, as a login in progress does, until it goes.

#include <atomic>
#include <thread>

#include "host/server_link.h"
#include "support/wait_for.h"

namespace strivex::testing {

// The link's code lists, read under its lock as a worker reads them; empty without a session.
inline CodeLists CodesOf(ServerLink& link) {
  CodeLists codes;
  link.Run(
      [&codes](ServerLink::Scope& scope) {
        codes = scope.codes();
        return true;
      },
      ServerLink::Needs::kAlways);
  return codes;
}

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
