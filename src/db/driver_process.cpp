#include "db/driver_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

// glibc 2.36 declares these without C linkage for C++.
extern "C" {
#include <sys/pidfd.h>
}

#include <cerrno>
#include <utility>

#include "util/format.h"

extern char** environ;

namespace strivex {

namespace {

// The helper's end of the socket; what it reads and writes its calls on.
constexpr int kHelperSocket = 3;
// A helper that was hung up on ends at once: its watcher thread sees the hang-up.
constexpr std::chrono::milliseconds kHangUpWait{500};

// The spawn's settings, freed on every path.
struct SpawnSettings {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSettings() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSettings() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSettings(const SpawnSettings&) = delete;
  SpawnSettings& operator=(const SpawnSettings&) = delete;

  // 0 or an errno value.
  int Prepare(int helperEnd) {
    // 0-2 stay open on /dev/null: a driver's write to standard error must not land in whatever
    // the helper opens next.
    int rc = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (rc == 0) rc = posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions, helperEnd, kHelperSocket);
    // Other threads' descriptors without close-on-exec (a relay client's socket) stay here.
    if (rc == 0) rc = posix_spawn_file_actions_addclosefrom_np(&actions, kHelperSocket + 1);
    // A thread that spawns may block signals or have handlers; the helper starts clean.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    if (rc == 0) rc = posix_spawnattr_setsigmask(&attributes, &none);
    if (rc == 0) rc = posix_spawnattr_setsigdefault(&attributes, &all);
    if (rc == 0) rc = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    return rc;
  }
};

}  // namespace

std::string ProcessEndText(int code, int status) {
  if (code == CLD_EXITED && status == kDriverOutOfMemoryStatus) return "ran out of memory";
  if (code == CLD_EXITED) return Format("ended with status %d", status);
  const char* name = sigabbrev_np(status);
  const std::string signal = name != nullptr ? std::string("SIG") + name : Format("%d", status);
  return "was killed by signal " + signal;
}

std::unique_ptr<DriverProcess> DriverProcess::Start(const std::string& path, size_t dataLimit, std::string& why) {
  int fds[2];
  // Close-on-exec, or a sibling helper spawned meanwhile would hold this one's end open.
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
    why = Format("no socket pair for the driver process: %s", strerror(errno));
    return nullptr;
  }
  UniqueFd parentEnd(fds[0]);
  // Above 3, so that the dup2 onto 3 always makes a new descriptor, without close-on-exec.
  UniqueFd helperEnd(::fcntl(fds[1], F_DUPFD_CLOEXEC, kHelperSocket + 1));
  ::close(fds[1]);
  SpawnSettings settings;
  int rc = helperEnd.valid() ? settings.Prepare(helperEnd.get()) : errno;
  pid_t pid = -1;
  std::string limit = std::to_string(dataLimit);
  char* argv[] = {const_cast<char*>(path.c_str()), limit.data(), nullptr};
  if (rc == 0) rc = posix_spawn(&pid, path.c_str(), &settings.actions, &settings.attributes, argv, environ);
  if (rc != 0) {
    why = Format("the driver process %s could not be started: %s", path.c_str(), strerror(rc));
    return nullptr;
  }
  UniqueFd pidfd(::pidfd_open(pid, 0));
  if (!pidfd.valid()) {
    // Ours and not yet reaped, so the pid is still this child's.
    why = Format("the driver process could not be watched: %s", strerror(errno));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return nullptr;
  }
  return std::unique_ptr<DriverProcess>(new DriverProcess(std::move(parentEnd), std::move(pidfd), pid));
}

DriverProcess::~DriverProcess() {
  socket_.Reset();
  if (!Ended(kHangUpWait)) Kill();
}

void DriverProcess::AskToCancel() const {
  if (!end_) ::pidfd_send_signal(pidfd_.get(), SIGUSR1, nullptr, 0);
}

void DriverProcess::Kill() {
  if (end_) return;
  ::pidfd_send_signal(pidfd_.get(), SIGKILL, nullptr, 0);
  Ended(std::chrono::milliseconds(-1));
}

std::optional<std::string> DriverProcess::Ended(std::chrono::milliseconds wait) {
  if (end_) return end_;
  pollfd p{pidfd_.get(), POLLIN, 0};
  const auto until = std::chrono::steady_clock::now() + wait;
  for (;;) {
    int left = -1;
    if (wait.count() >= 0) {
      left = static_cast<int>(std::max<long long>(
          0, std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count()));
    }
    const int ready = ::poll(&p, 1, left);
    if (ready > 0) break;
    if (ready == 0) return std::nullopt;
    if (errno != EINTR) break;  // waitid reports it
  }
  siginfo_t info{};
  while (::waitid(P_PIDFD, static_cast<id_t>(pidfd_.get()), &info, WEXITED) != 0) {
    if (errno != EINTR) {
      end_ = Format("could not be reaped: %s", strerror(errno));
      return end_;
    }
  }
  outOfMemory_ = info.si_code == CLD_EXITED && info.si_status == kDriverOutOfMemoryStatus;
  end_ = ProcessEndText(info.si_code, info.si_status);
  return end_;
}

}  // namespace strivex
