#include "report_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace strivex::sim {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

int ReadWhole(const std::string& name, std::string& bytes) {
  errno = 0;
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name.c_str(), "rb"));
  if (!file) return errno != 0 ? errno : EIO;
  char buffer[65536];
  size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
    bytes.append(buffer, count);
  // Reading a directory succeeds to open and fails here.
  if (std::ferror(file.get())) return errno != 0 ? errno : EIO;
  return 0;
}

}  // namespace

bool ReadReportFiles(const std::vector<std::string>& names, std::vector<ReportFile>& files,
                     std::string& error) {
  for (const std::string& name : names) {
    ReportFile file{name, {}};
    if (const int failure = ReadWhole(name, file.bytes); failure != 0) {
      error = "cannot read report " + name + ": " + std::strerror(failure);
      return false;
    }
    files.push_back(std::move(file));
  }
  return true;
}

}  // namespace strivex::sim
