#include "host/working_directory_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "util/format.h"

namespace strivex {

namespace {

// The holder writes its process id into the file, so an administrator can see who holds it.
std::string HolderOf(int fd) {
  char text[32] = {};
  const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
  std::string holder(text, got > 0 ? static_cast<size_t>(got) : 0);
  while (!holder.empty() && (holder.back() == '\n' || holder.back() == ' ')) holder.pop_back();
  return holder.empty() ? std::string() : " (pid " + holder + ")";
}

}  // namespace

std::unique_ptr<WorkingDirectoryLock> WorkingDirectoryLock::Acquire(std::string& reason) {
  UniqueFd fd(::open(kWorkingDirectoryLockName, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd.valid()) {
    reason = Format("%s: %s", kWorkingDirectoryLockName, std::strerror(errno));
    return nullptr;
  }
  // A second open description of the file is locked out too: two modules in one process as well.
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    reason = error == EWOULDBLOCK ? Format("%s%s", kWorkingDirectoryBusy, HolderOf(fd.get()).c_str())
                                  : Format("%s: %s", kWorkingDirectoryLockName, std::strerror(error));
    return nullptr;
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd.get(), 0) != 0 || ::pwrite(fd.get(), pid.data(), pid.size(), 0) < 0) {
    // Only the note for administrators is missing; the lock itself holds.
  }
  return std::unique_ptr<WorkingDirectoryLock>(new WorkingDirectoryLock(std::move(fd)));
}

}  // namespace strivex
