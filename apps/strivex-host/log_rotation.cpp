#include "log_rotation.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "private_folder.h"
#include "util/log_files.h"
#include "util/unique_fd.h"

namespace strivex::host_app {

namespace {

std::string Why(const std::string& path, const char* what) { return path + ": " + what + ": " + std::strerror(errno); }

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string LogRotationConfig(const std::string& workdir, std::string& error) {
  if (workdir.find_first_of("\"\\*?[]{}\n\r") != std::string::npos) {
    error = workdir + ": logrotate would read quotes, backslashes, patterns or line ends in its name";
    return {};
  }
  std::string config = "# Written by strivex-host at every start of this instance; changes here are lost.\n";
  for (const char* log : {kErrorLogName, kRawLogName, kDataLogName}) config += "\"" + workdir + "/" + log + "\"\n";
  // The module opens a log for each entry and creates it when it is missing: rotating is a
  // rename, nothing is copied or created, and a rotated file is compressed only a cycle later,
  // when no entry can still be on its way in.
  config +=
      "{\n"
      "\tmonthly\n"
      "\trotate 24\n"
      "\tmissingok\n"
      "\tnotifempty\n"
      "\tnocreate\n"
      "\tcompress\n"
      "\tdelaycompress\n"
      "}\n";
  return config;
}

std::string WriteLogRotation(const std::string& dir, const std::string& name, const std::string& workdir) {
  std::string error;
  const std::string config = LogRotationConfig(workdir, error);
  if (config.empty()) return error;
  const std::string path = dir + "/" + name + ".conf";
  if (ReadWhole(path) == config) return {};
  if (std::string why = MakePrivateFolder(dir); !why.empty()) return why;
  // logrotate reads every file in the folder: the new text is prepared beside it, then renamed.
  const std::string temporary = dir + "/../." + name + ".logrotate.tmp";
  {
    UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd.valid()) return Why(temporary, "cannot create it");
    if (::write(fd.get(), config.data(), config.size()) != static_cast<ssize_t>(config.size())) {
      const std::string why = Why(temporary, "cannot write it");
      ::unlink(temporary.c_str());
      return why;
    }
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const std::string why = Why(path, "cannot write it");
    ::unlink(temporary.c_str());
    return why;
  }
  return {};
}

}  // namespace strivex::host_app
