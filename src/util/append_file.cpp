#include "util/append_file.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace strivex {

// Created for the owner alone: the logs hold patients' results. A file that exists keeps the mode
// its administrator gave it.
AppendFile::AppendFile(const std::string& name)
    : fd_(::open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600)) {}

AppendFile::~AppendFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool AppendFile::Write(std::string_view bytes) {
  if (fd_ < 0) return false;
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

bool AppendFile::WriteText(std::string_view text) { return Write(WithCrLf(text)); }

std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16 + 4);
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

}  // namespace strivex
