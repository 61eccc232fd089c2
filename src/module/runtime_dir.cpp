#include "module/runtime_dir.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace strivex::module {

namespace {

std::string Why(const std::string& path, const char* what) {
  return path + ": " + what + ": " + std::strerror(errno);
}

}  // namespace

RuntimeDir ChooseRuntimeDir(const char* fromEnvironment, uid_t uid, const std::string& base) {
  if (fromEnvironment != nullptr && fromEnvironment[0] == '/') return {fromEnvironment, {}};
  const std::string path = base + "/strivex-runtime-" + std::to_string(uid);
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return {{}, Why(path, "cannot create it")};
  // lstat: in a shared /tmp a link planted by another user must not lead our sockets elsewhere.
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return {{}, Why(path, "cannot look at it")};
  if (!S_ISDIR(info.st_mode)) return {{}, path + ": not a folder"};
  if (info.st_uid != uid) {
    return {{}, path + ": owned by uid " + std::to_string(info.st_uid) + ", not by uid " + std::to_string(uid)};
  }
  if ((info.st_mode & 07777) != 0700 && ::chmod(path.c_str(), 0700) != 0) {
    return {{}, Why(path, "cannot make it private")};
  }
  return {path, {}};
}

}  // namespace strivex::module
