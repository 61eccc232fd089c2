#pragma once
// A file descriptor closed with its owner.

#include <unistd.h>

#include <utility>

namespace strivex {

// Movable, not copyable. Not synchronised: a descriptor shared between threads needs its
// owner's lock around Reset and moves.
class UniqueFd {
 public:
  UniqueFd() = default;
  // Takes `fd` (a negative value means none).
  explicit UniqueFd(int fd) : fd_(fd) {}
  // Closes the descriptor it still owns.
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  // The descriptor, still owned; -1 for none.
  int get() const { return fd_; }
  // Whether it owns a descriptor.
  bool valid() const { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  int Release() { return std::exchange(fd_, -1); }
  // Closes the descriptor (errors ignored); owns none afterwards.
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

}  // namespace strivex
