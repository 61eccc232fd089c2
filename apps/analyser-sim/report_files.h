#pragma once
// Report files are read whole before the line is opened, so a wrong name is a usage error and
// not a half-played session.

#include <string>
#include <vector>

namespace strivex::sim {

// A report file's name and bytes.
struct ReportFile {
  std::string name;
  std::string bytes;
};

// Reads each file; on the first that cannot be read, `error` names it and says why.
bool ReadReportFiles(const std::vector<std::string>& names, std::vector<ReportFile>& files,
                     std::string& error);

}  // namespace strivex::sim
