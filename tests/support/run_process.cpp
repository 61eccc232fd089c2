#include "support/run_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace strivex::testing {

namespace {

// An unnamed temporary file: the child's end of a stream. Files instead of pipes, so a child that
// writes a lot never blocks on a parent that is not reading yet.
class ScratchFile {
 public:
  ScratchFile() {
    std::string pattern = (std::filesystem::temp_directory_path() / "strivex-run-XXXXXX").string();
    fd_ = mkstemp(pattern.data());
    if (fd_ < 0) throw std::runtime_error("mkstemp failed");
    unlink(pattern.c_str());
  }
  ~ScratchFile() { close(fd_); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  int fd() const { return fd_; }

  void Write(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw std::runtime_error("cannot write scratch file");
      done += static_cast<size_t>(n);
    }
    lseek(fd_, 0, SEEK_SET);
  }

  std::string ReadAll() const {
    std::string bytes;
    lseek(fd_, 0, SEEK_SET);
    char buffer[65536];
    for (;;) {
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
  }

 private:
  int fd_ = -1;
};

class FileActions {
 public:
  FileActions() { posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;

  void Dup(int from, int to) { posix_spawn_file_actions_adddup2(&actions_, from, to); }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input) {
  ScratchFile in, out, err;
  in.Write(input);
  FileActions actions;
  actions.Dup(in.fd(), STDIN_FILENO);
  actions.Dup(out.fd(), STDOUT_FILENO);
  actions.Dup(err.fd(), STDERR_FILENO);

  std::vector<std::string> argvStrings{program};
  argvStrings.insert(argvStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argvStrings) argv.push_back(arg.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  if (const int error =
          posix_spawn(&pid, program.c_str(), actions.get(), nullptr, argv.data(), environ)) {
    throw std::runtime_error("cannot start " + program + ": " + std::to_string(error));
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  }

  ProcessResult result;
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.termSignal = WTERMSIG(status);
  result.out = out.ReadAll();
  result.err = err.ReadAll();
  return result;
}

}  // namespace strivex::testing
