#pragma once
// A program running beside the test: its standard output and error arrive through pipes as it
// writes them, so a test can wait for a line, act, and then signal or wait for the process.
// Every wait drains both pipes, so a child writing much is never stuck on a full pipe.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/run_process.h"

namespace strivex::testing {

class BackgroundProcess {
 public:
  // `args` excludes the program name. Standard input is /dev/null; the child inherits no other
  // descriptor of the test. Throws std::runtime_error when the process cannot be started.
  BackgroundProcess(const std::string& program, const std::vector<std::string>& args);
  // Kills and reaps a process that is still running.
  ~BackgroundProcess();
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  pid_t pid() const { return pid_; }

  // Collects output until `done(stdout so far)` holds or `timeout` passes; returns whether it
  // held.
  bool WaitForOutput(const std::function<bool(const std::string&)>& done,
                     std::chrono::milliseconds timeout);
  // All standard output and error collected so far, whatever ReadLine and ReadRest consumed.
  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

  // The next unread line of standard output without its LF; nullopt at the time-out or when the
  // output ended (an unterminated last line is left for ReadRest).
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout);
  // The unread standard output up to its end, or what came before the time-out.
  std::string ReadRest(std::chrono::milliseconds timeout);

  // Whether the process has `path` open (checked through /proc).
  bool HasOpen(const std::string& path) const;

  void Signal(int signal) const;

  // Waits up to `timeout` for the process to end, leaving it running past that: the exit status,
  // -1 if a signal ended it, nullopt while it still runs.
  std::optional<int> WaitExit(std::chrono::milliseconds timeout);

  // Waits for the end of the process and of its output. After `timeout` it is killed, which the
  // result shows as termSignal SIGKILL.
  ProcessResult Wait(std::chrono::milliseconds timeout);

 private:
  // Reads what the pipes hold, waiting up to `timeout` for something; false when both are closed.
  bool Collect(std::chrono::milliseconds timeout);
  void Reap(int options);

  pid_t pid_ = -1;
  int outFd_ = -1;
  int errFd_ = -1;
  std::string out_;
  std::string err_;
  size_t outRead_ = 0;  // how much of out_ ReadLine and ReadRest handed out
  bool reaped_ = false;
  int status_ = 0;
};

}  // namespace strivex::testing
