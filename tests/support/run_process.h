#pragma once
// Runs a program to completion with given standard input and collects its standard output,
// standard error and exit status, for tests of the command-line tools.

#include <string>
#include <vector>

namespace strivex::testing {

struct ProcessResult {
  int exitCode = -1;   // -1 when the process did not exit normally
  int termSignal = 0;  // the signal that ended it, if one did
  std::string out;
  std::string err;
};

// `args` excludes the program name. Throws std::runtime_error when the process cannot be started.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = {});

}  // namespace strivex::testing
