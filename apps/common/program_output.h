#pragma once
// What the four programs say the same way: one error line shape and one table of exit statuses
// (README, "Commands"), and the --version line.

#include <string_view>

namespace strivex::app {

// Scripts and units branch on these; every program and command uses the same numbers.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;    // the operation failed or found nothing; an operator looks
inline constexpr int kExitUsage = 2;     // the command line, or a file or device it names, is unusable
inline constexpr int kExitDatabase = 3;  // a database cannot be reached or refuses the login

// "PROGRAM: WHAT: WHY" on standard error, written at once so parallel writers cannot split it.
void PrintProgramError(std::string_view program, std::string_view what, std::string_view why);

// "PROGRAM (Strivex) VERSION" on standard output, the first line help2man reads; false when it
// could not be written.
bool PrintVersionLine(std::string_view program);

}  // namespace strivex::app
