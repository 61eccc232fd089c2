#pragma once
// The ODBC helper processes (apps/strivex-odbc-helper) this test process or another has, read
// from /proc: a helper that was ended must also have been reaped.

#include <sys/types.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace strivex::testing {

// Zombies included: an unreaped helper still counts. `process` is a pid, or "self".
inline std::vector<pid_t> HelperChildPids(const std::string& process = "self") {
  std::vector<pid_t> helpers;
  std::error_code gone;
  for (const auto& task : std::filesystem::directory_iterator("/proc/" + process + "/task", gone)) {
    std::istringstream children(ReadFile(task.path() / "children"));
    for (pid_t pid; children >> pid;) {
      if (ReadFile("/proc/" + std::to_string(pid) + "/comm").starts_with("strivex-odbc-he")) helpers.push_back(pid);
    }
  }
  return helpers;
}

inline int HelperChildren() { return static_cast<int>(HelperChildPids().size()); }

}  // namespace strivex::testing
