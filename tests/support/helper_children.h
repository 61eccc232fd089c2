#pragma once
// The ODBC helper processes (apps/strivex-odbc-helper) this test process has, read from /proc:
// a helper that was ended must also have been reaped.

#include <sys/types.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "support/temp_dir.h"

namespace strivex::testing {

// Zombies included: an unreaped helper still counts.
inline int HelperChildren() {
  int count = 0;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::istringstream children(ReadFile(task.path() / "children"));
    for (pid_t pid; children >> pid;) {
      count += ReadFile("/proc/" + std::to_string(pid) + "/comm").starts_with("strivex-odbc-he");
    }
  }
  return count;
}

}  // namespace strivex::testing
