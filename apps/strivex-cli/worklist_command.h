#pragma once
// strivex-cli worklist: reads an instrument's work list from the laboratory's database the way
// the work-list dialog does, and prints it or the analyser's frames for it.

#include <span>
#include <string_view>

namespace strivex::cli {

// `args` are the arguments after the command name. Returns the exit status; failures are
// error lines on standard error.
int RunWorkListCommand(std::span<const std::string_view> args);

}  // namespace strivex::cli
