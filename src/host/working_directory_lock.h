#pragma once
// One live module per working directory. Two modules on one folder would share its outbox and
// logs, and the rows of one instrument could be sent by the other. The lock is an advisory flock
// on a file of its own, which the kernel lets go however the process ends (a pid file would
// outlive a crash); the outbox's own SQLite locks come and go and cannot serve.

#include <memory>
#include <string>

#include "util/unique_fd.h"

namespace strivex {

inline constexpr const char* kWorkingDirectoryLockName = "_Strivex.lock";
// Shown when a second module is started on a folder another live module holds.
inline constexpr const char* kWorkingDirectoryBusy = "Directorul de lucru este folosit de alt modul";

class WorkingDirectoryLock {
 public:
  // Takes the lock of the current directory. Null when another module holds it (of any process,
  // this one included) or the lock file cannot be made; `reason` then says which and who.
  static std::unique_ptr<WorkingDirectoryLock> Acquire(std::string& reason);
  WorkingDirectoryLock(const WorkingDirectoryLock&) = delete;
  WorkingDirectoryLock& operator=(const WorkingDirectoryLock&) = delete;

 private:
  explicit WorkingDirectoryLock(UniqueFd fd) : fd_(std::move(fd)) {}
  UniqueFd fd_;  // held open with the lock; closing it lets the lock go
};

}  // namespace strivex
