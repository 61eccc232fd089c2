#pragma once
// One running host per instance. The first host of an instance holds a lock file and listens on a
// unix socket beside it in the session's runtime folder; a second host finds the lock taken, asks
// the first to show its window and ends. The lock, not the socket file, says whether a host
// lives: the kernel lets it go however the host ends, so a socket file left by a killed host is
// simply replaced.

#include <functional>
#include <memory>
#include <string>

#include "util/unique_fd.h"

namespace strivex::host_app {

class InstanceSocket {
 public:
  enum class Outcome {
    kOwner,     // this host is the instance's: `socket` listens
    kAnswered,  // another host runs the instance and answered `text`
    kFailed,    // `text` says why neither
  };
  struct Claim {
    Outcome outcome = Outcome::kFailed;
    std::unique_ptr<InstanceSocket> socket;
    std::string text;
  };

  // Claims instance `name` in `dir` (made 0700 when missing), or asks its running host to show
  // the window. Waits at most a few seconds for a host that is still starting.
  static Claim Take(const std::string& dir, const std::string& name);

  ~InstanceSocket();
  InstanceSocket(const InstanceSocket&) = delete;
  InstanceSocket& operator=(const InstanceSocket&) = delete;

  // The listening socket, non-blocking: readable when a request waits.
  int fd() const { return listener_.get(); }

  // Answers one waiting request; "show" is answered with what `show` returns. A client that
  // says nothing is given up on after a second.
  void Serve(const std::function<std::string()>& show);

 private:
  InstanceSocket(UniqueFd lock, UniqueFd listener, std::string path)
      : lock_(std::move(lock)), listener_(std::move(listener)), path_(std::move(path)) {}

  UniqueFd lock_;
  UniqueFd listener_;
  std::string path_;
};

}  // namespace strivex::host_app
