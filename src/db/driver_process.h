#pragma once
// The helper process one ODBC connection's driver runs in (apps/strivex-odbc-helper), as its
// parent sees it: a stream socket to it, a pidfd to signal and reap it by, never a bare pid that
// may have been reused. Spawned from a threaded process, it inherits nothing but its socket (on
// descriptor 3) and /dev/null on 0-2, with default signal dispositions and an empty mask.
// Its data (heap and private mappings, RLIMIT_DATA) may be bounded: a driver that reads a result
// whole then fails an allocation instead of taking the machine's memory.

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "util/unique_fd.h"

namespace strivex {

// The status a helper ends with when it died of an allocation that its data limit refused.
inline constexpr int kDriverOutOfMemoryStatus = 86;

class DriverProcess {
 public:
  // Starts the program at `path` with its data bounded to `dataLimit` bytes (0: no bound), given
  // as its one argument; null with `why` when it cannot.
  static std::unique_ptr<DriverProcess> Start(const std::string& path, size_t dataLimit, std::string& why);
  // Hangs up, which ends the helper even inside a driver call, and reaps it; kills it when it
  // has not gone within a moment.
  ~DriverProcess();
  DriverProcess(const DriverProcess&) = delete;
  DriverProcess& operator=(const DriverProcess&) = delete;

  int socket() const { return socket_.get(); }
  // Readable once the helper has ended.
  int pidfd() const { return pidfd_.get(); }
  pid_t pid() const { return pid_; }

  // Asks the helper to cancel the driver call in flight (SQLCancel).
  void AskToCancel() const;
  // Kills the helper and reaps it.
  void Kill();
  // How the helper ended ("ended with status 1", "was killed by signal SIGSEGV", "ran out of
  // memory"), once it has, waiting
  // for it up to `wait`; nullopt while it runs. Reaps it.
  std::optional<std::string> Ended(std::chrono::milliseconds wait = std::chrono::milliseconds(0));
  // Whether it ended of an allocation its data limit refused; known once Ended said it ended.
  bool RanOutOfMemory() const { return outOfMemory_; }

 private:
  DriverProcess(UniqueFd socket, UniqueFd pidfd, pid_t pid)
      : socket_(std::move(socket)), pidfd_(std::move(pidfd)), pid_(pid) {}

  UniqueFd socket_;
  UniqueFd pidfd_;
  pid_t pid_;
  std::optional<std::string> end_;  // once reaped
  bool outOfMemory_ = false;        // once reaped
};

// How a reaped child ended, for the logs: a signal by its name.
std::string ProcessEndText(int code, int status);

}  // namespace strivex
