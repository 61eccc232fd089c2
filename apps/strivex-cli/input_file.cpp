#include "input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>

namespace strivex::cli {

namespace {

constexpr size_t kMinimumBuffer = 64 * 1024;

// Closes what it opened; standard input stays open.
class InputFd {
 public:
  InputFd(const std::string& path, bool dashIsStandardInput)
      : owned_(!(dashIsStandardInput && path == kStandardInputName)),
        fd_(owned_ ? ::open(path.c_str(), O_RDONLY | O_CLOEXEC) : STDIN_FILENO) {}
  ~InputFd() {
    if (owned_ && fd_ >= 0) ::close(fd_);
  }
  InputFd(const InputFd&) = delete;
  InputFd& operator=(const InputFd&) = delete;

  int get() const { return fd_; }

 private:
  bool owned_;
  int fd_;
};

// 0 for something that can be read as a byte stream; a directory opens fine but reads fail.
int CheckOpened(const InputFd& fd, struct stat& info) {
  if (fd.get() < 0) return errno;
  if (::fstat(fd.get(), &info) != 0) return errno;
  if (S_ISDIR(info.st_mode)) return EISDIR;
  return 0;
}

ssize_t ReadSome(int fd, char* buffer, size_t size) {
  ssize_t got;
  do {
    got = ::read(fd, buffer, size);
  } while (got < 0 && errno == EINTR);
  return got;
}

}  // namespace

int ReadInputFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  const InputFd fd(path, true);
  struct stat info {};
  if (const int error = CheckOpened(fd, info)) return error;
  try {
    // A regular file is read into a buffer of its size plus one byte, which the final read
    // (the one that sees the end) needs; pipes and devices grow the buffer as they go.
    size_t capacity = kMinimumBuffer;
    if (S_ISREG(info.st_mode) && info.st_size > 0) capacity = static_cast<size_t>(info.st_size) + 1;
    size_t used = 0;
    bytes.resize(capacity);
    for (;;) {
      if (used == bytes.size()) bytes.resize(bytes.size() * 2);
      const ssize_t got = ReadSome(fd.get(), bytes.data() + used, bytes.size() - used);
      if (got < 0) {
        const int error = errno;
        bytes.clear();
        return error;
      }
      if (got == 0) break;
      used += static_cast<size_t>(got);
    }
    bytes.resize(used);
  } catch (const std::exception&) {
    // Only growing the buffer throws (bad_alloc, or length_error beyond max_size).
    bytes.clear();
    bytes.shrink_to_fit();
    return ENOMEM;
  }
  return 0;
}

int CheckReadable(const std::string& path) {
  const InputFd fd(path, false);
  struct stat info {};
  if (const int error = CheckOpened(fd, info)) return error;
  char probe;
  return ReadSome(fd.get(), &probe, 1) < 0 ? errno : 0;
}

}  // namespace strivex::cli
