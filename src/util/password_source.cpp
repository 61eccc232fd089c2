#include "util/password_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/unique_fd.h"

namespace strivex {

namespace {

// A password is one short line; more without a line end is not a password file.
constexpr size_t kLongestLine = 4096;

}  // namespace

PasswordFile ReadPasswordFile(const std::string& path) {
  PasswordFile file;
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  if (!fd.valid()) {
    file.error = std::strerror(errno);
    return file;
  }
  struct stat info {};
  file.exposed = ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
  std::string& line = file.password;
  char buffer[512];
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      file.error = std::strerror(errno);
      return file;
    }
    line.append(buffer, static_cast<size_t>(got));
    if (const size_t end = line.find('\n'); end != std::string::npos) {
      line.resize(end);
      break;
    }
    if (got == 0) break;
    if (line.size() > kLongestLine) {
      file.error = "the first line is longer than 4096 bytes";
      line.clear();
      return file;
    }
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return file;
}

ResolvedPassword ResolvePassword(const PasswordSources& sources, const char* program) {
  ResolvedPassword resolved;
  if (sources.given) {
    resolved.password = sources.given;
  } else if (sources.file) {
    const PasswordFile file = ReadPasswordFile(*sources.file);
    const std::string what = std::string(program) + ": --password-file " + *sources.file;
    if (!file.error.empty()) {
      resolved.error = what + ": " + file.error;
      return resolved;
    }
    if (file.exposed) resolved.warning = what + ": other users can read it (chmod 600 it)";
    resolved.password = file.password;
  } else if (sources.environment != nullptr) {
    resolved.password = sources.environment;
  }
  return resolved;
}

}  // namespace strivex
