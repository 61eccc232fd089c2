#pragma once
// A pseudo-terminal pair for serial tests: the test plays the analyser on the master side and
// the code under test opens the slave by its path.

#include <chrono>
#include <string>
#include <string_view>

namespace strivex::testing {

class PtyPair {
 public:
  PtyPair();  // throws std::runtime_error when no pseudo-terminal can be made
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& slavePath() const { return slavePath_; }
  int master() const { return master_; }

  void Write(std::string_view bytes);
  // Whatever the master side can read within `timeout` (stops early once `want` bytes are in).
  std::string Read(size_t want, std::chrono::milliseconds timeout);
  // Bytes written on the master that the slave side has not read yet.
  size_t Unread() const;
  // Closes the master side: the slave sees its device go away.
  void CloseMaster();

 private:
  int master_ = -1;
  int slave_ = -1;  // kept open so the line stays up while the code under test re-opens it
  std::string slavePath_;
};

}  // namespace strivex::testing
