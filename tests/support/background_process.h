#pragma once
// A program running beside the test: its standard output and error arrive through pipes as it
// writes them, so a test can wait for a line, act, and then signal or wait for the process.

#include <sys/types.h>

#include <chrono>
#include <functional>
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
  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

  // Whether the process has `path` open (checked through /proc).
  bool HasOpen(const std::string& path) const;

  void Signal(int signal) const;

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
  bool reaped_ = false;
  int status_ = 0;
};

}  // namespace strivex::testing
