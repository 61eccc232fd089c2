#include "private_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace strivex::host_app {

std::string MakePrivateFolder(const std::string& path) {
  namespace fs = std::filesystem;
  fs::path made;
  for (const fs::path& part : fs::path(path).lexically_normal()) {
    made /= part;
    if (part.empty() || part == made.root_path()) continue;
    if (::mkdir(made.c_str(), 0700) == 0) {
      if (::chmod(made.c_str(), 0700) != 0) return made.string() + ": cannot make it private: " + std::strerror(errno);
    } else if (errno != EEXIST) {
      return made.string() + ": cannot create it: " + std::strerror(errno);
    }
  }
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return path + ": not a folder";
  return {};
}

}  // namespace strivex::host_app
