#pragma once
// What every command of the tool shares: exit statuses, error lines, whole writes.

#include <cstdio>
#include <string_view>

namespace strivex::cli {

// The name error lines start with.
inline constexpr std::string_view kProgramName = "strivex-cli";

// Scripts branch on these, so they are the same for every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitNothingFound = 1;
inline constexpr int kExitFailure = 2;  // usage errors, unreadable files, failed output

// "strivex-cli: <what>: <reason>" on standard error.
void PrintError(std::string_view what, std::string_view reason);

// Writes all of `text`; false when the stream reports an error.
bool WriteAll(std::FILE* out, std::string_view text);

}  // namespace strivex::cli
