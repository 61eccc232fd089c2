#include "support/background_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace strivex::testing {

namespace {

using Clock = std::chrono::steady_clock;

class Pipe {
 public:
  Pipe() {
    if (pipe2(fds_, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
  }
  ~Pipe() {
    for (int fd : fds_)
      if (fd >= 0) close(fd);
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  int readEnd() const { return fds_[0]; }
  int writeEnd() const { return fds_[1]; }
  int ReleaseReadEnd() {
    const int fd = fds_[0];
    fds_[0] = -1;
    return fd;
  }

 private:
  int fds_[2] = {-1, -1};
};

class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;

  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

BackgroundProcess::BackgroundProcess(const std::string& program,
                                     const std::vector<std::string>& args) {
  Pipe out, err;
  SpawnActions actions;
  posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(actions.get(), out.writeEnd(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(actions.get(), err.writeEnd(), STDERR_FILENO);
  // Descriptors the test keeps without close-on-exec (a pseudo-terminal, say) stay with the test.
  posix_spawn_file_actions_addclosefrom_np(actions.get(), STDERR_FILENO + 1);

  std::vector<std::string> argvStrings{program};
  argvStrings.insert(argvStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argvStrings) argv.push_back(arg.data());
  argv.push_back(nullptr);

  // The child starts with default signal handling whatever the test runner set up.
  sigset_t none;
  sigemptyset(&none);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  const int error =
      posix_spawn(&pid_, program.c_str(), actions.get(), &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    throw std::runtime_error("cannot start " + program + ": " + std::to_string(error));
  }
  outFd_ = out.ReleaseReadEnd();
  errFd_ = err.ReleaseReadEnd();
}

BackgroundProcess::~BackgroundProcess() {
  if (!reaped_) {
    kill(pid_, SIGKILL);
    Reap(0);
  }
  if (outFd_ >= 0) close(outFd_);
  if (errFd_ >= 0) close(errFd_);
}

bool BackgroundProcess::Collect(std::chrono::milliseconds timeout) {
  pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
  if (outFd_ < 0 && errFd_ < 0) return false;
  const int ready = poll(fds, 2, static_cast<int>(timeout.count()));
  if (ready <= 0) return true;
  int* const ownFds[2] = {&outFd_, &errFd_};
  std::string* const sinks[2] = {&out_, &err_};
  for (int i = 0; i < 2; ++i) {
    if (fds[i].revents == 0) continue;
    char buffer[4096];
    const ssize_t n = read(*ownFds[i], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      close(*ownFds[i]);
      *ownFds[i] = -1;  // poll skips negative descriptors
      continue;
    }
    sinks[i]->append(buffer, static_cast<size_t>(n));
  }
  return outFd_ >= 0 || errFd_ >= 0;
}

bool BackgroundProcess::WaitForOutput(const std::function<bool(const std::string&)>& done,
                                      std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!done(out_)) {
    const int left = MillisecondsLeft(deadline);
    if (left == 0 || !Collect(std::chrono::milliseconds(left))) return done(out_);
  }
  return true;
}

std::optional<std::string> BackgroundProcess::ReadLine(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (const size_t end = out_.find('\n', outRead_); end != std::string::npos) {
      std::string line = out_.substr(outRead_, end - outRead_);
      outRead_ = end + 1;
      return line;
    }
    const int left = MillisecondsLeft(deadline);
    if (outFd_ < 0 || left == 0) return std::nullopt;
    Collect(std::chrono::milliseconds(left));
  }
}

std::string BackgroundProcess::ReadRest(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (int left = MillisecondsLeft(deadline); outFd_ >= 0 && left > 0;
       left = MillisecondsLeft(deadline)) {
    Collect(std::chrono::milliseconds(left));
  }
  std::string rest = out_.substr(outRead_);
  outRead_ = out_.size();
  return rest;
}

bool BackgroundProcess::HasOpen(const std::string& path) const {
  std::error_code error;
  const std::filesystem::path fdDir = "/proc/" + std::to_string(pid_) + "/fd";
  for (std::filesystem::directory_iterator it(fdDir, error), end; !error && it != end;
       it.increment(error)) {
    std::error_code linkError;
    if (std::filesystem::read_symlink(it->path(), linkError) == path) return true;
  }
  return false;
}

void BackgroundProcess::Signal(int signal) const {
  if (!reaped_) kill(pid_, signal);
}

void BackgroundProcess::Reap(int options) {
  int status = 0;
  pid_t got;
  do {
    got = waitpid(pid_, &status, options);
  } while (got < 0 && errno == EINTR);
  if (got == pid_) {
    reaped_ = true;
    status_ = status;
  }
}

std::optional<int> BackgroundProcess::WaitExit(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (!reaped_) Reap(WNOHANG);
    if (reaped_) return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    const int left = MillisecondsLeft(deadline);
    if (left == 0) return std::nullopt;
    // Keeps the pipes drained, so a child writing much is never stuck on a full pipe.
    const auto slice = std::chrono::milliseconds(std::min(left, 20));
    if (!Collect(slice)) std::this_thread::sleep_for(slice);
  }
}

ProcessResult BackgroundProcess::Wait(std::chrono::milliseconds timeout) {
  if (!WaitExit(timeout)) {
    kill(pid_, SIGKILL);
    Reap(0);
  }
  // What the process wrote last; bounded in case something it started still holds the pipes.
  const auto drainDeadline = Clock::now() + std::chrono::seconds(2);
  while (MillisecondsLeft(drainDeadline) > 0 &&
         Collect(std::chrono::milliseconds(MillisecondsLeft(drainDeadline)))) {
  }
  ProcessResult result;
  if (WIFEXITED(status_)) result.exitCode = WEXITSTATUS(status_);
  if (WIFSIGNALED(status_)) result.termSignal = WTERMSIG(status_);
  result.out = out_;
  result.err = err_;
  return result;
}

}  // namespace strivex::testing
